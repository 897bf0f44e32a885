#pragma once

// The exploration tables as the Web exploration's work queue and result:
// page links, picture links and hosts, with their record writers.

#include <QHash>
#include <QString>
#include <QVariant>
#include <array>
#include <functional>
#include <memory>

namespace store {
class Batch;
class DataMd3;
class Table;
} // namespace store

namespace web {

class RunLog;

enum class WriteOp { Insert, Update };

// The status word of each link Mode, 0 to 4.
const std::array<QString, 6>& statusWords();

class ExplorationTables {
public:
    ExplorationTables(store::DataMd3& dm3, RunLog& log);

    store::DataMd3& dm3() { return m_dm3; }

    bool DeleteImageLinkByURL(const QString& address);

    // Links left at Mode 1 ("開始") by a run that did not end (a kill, a
    // crash) go back to Mode 0 to be fetched again; no slot holds one when a
    // run starts. Answers the lowest page-link number returned, 0 when none.
    qint32 ReturnStartedLinks();

    // Insert: a new record numbered after the highest; false for an empty or
    // duplicate address (cancelled silently). Update: the record of the
    // address gets the mode and its word; false when there is none.
    bool WriteLinkRecord(const QString& host, const QString& address, qint32 link, qint32 mode, WriteOp op);
    bool WriteImageLinkRecord(const QString& host, const QString& address, qint32 mode, WriteOp op);

    // Makes the host the one host of distance 0.
    void SetStartHost(const QString& host);
    // For a page link found on a page of the given distance: a known host
    // gives its own distance, a new one gets distance + 1. True for a new host.
    bool EnterHost(const QString& host, qint32& distance);

    // The number of the first link at Mode 0 in No order, null when there is
    // none: a page link from the given number on whose distance the run may
    // follow, or a picture link (a marked one, for a collection). Found
    // through an index on the mode, so the handled rows are never walked.
    // With due, links whose address it refuses are passed over (their sites
    // are not due yet), at most kMaxPassedOver of them per probe.
    using AddressFilter = std::function<bool(const QString& address)>;
    static constexpr int kMaxPassedOver = 4096;
    QVariant NextPageLinkNumber(qint32 from, bool followExternal, qint32 linkMax, const AddressFilter& due = {});
    QVariant NextImageLinkNumber(bool markedOnly, const AddressFilter& due = {});

    // The picture-link grid's commands.
    void MarkAllImageLinks();
    void ClearImageMarksAndModes();
    void ResetImageModes();
    int CountMarkedImageLinks();

    // The address as the tables key it: normalised, then trimmed of blanks and
    // control characters at both ends.
    static QString keyAddress(const QString& address);

    // The links of a page recorded as one transaction. While one lives,
    // the grids of the three tables are not told of each record written
    // (each is refreshed once at its end), each host's link count is summed
    // and written once, and new links are numbered on from the last one
    // given. A page of thousands of links then costs a few writes per link.
    class Recording {
    public:
        explicit Recording(ExplorationTables& tables);
        ~Recording(); // without commit(): nothing of it is kept
        Recording(const Recording&) = delete;
        Recording& operator=(const Recording&) = delete;
        void commit();

    private:
        void end();
        ExplorationTables& m_tables;
        std::unique_ptr<store::Batch> m_batch;
    };

private:
    void ensureQueueIndexes();

    bool writeRecord(store::Table& writer, store::Table& serials, store::Table& grid, const QString& host,
                     const QString& address, const qint32* link, qint32 mode, WriteOp op, bool logUpdates);

    store::DataMd3& m_dm3;
    RunLog& m_log;
    bool m_queueIndexed = false;
    // While a Recording lives: the hosts met, with their distance and the
    // links counted for them but not yet written; the last link numbers.
    bool m_recording = false;
    struct HostSeen {
        qint32 distance = 0;
        qint32 unwrittenLinks = 0;
    };
    QHash<QString, HostSeen> m_hostsSeen;
    QHash<const store::Table*, qint32> m_lastNumbers;
};

} // namespace web
