#ifndef TOLVANE_SETTINGSREFRESHER_H
#define TOLVANE_SETTINGSREFRESHER_H

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Keeps the face settings in step with the settings server: downloads the
// document at `fileUrl` at start and then once per period, applies what it
// holds to the settings values and writes it into Setup.ini.
//
// The owner (the main window) only constructs, start()s and stop()s it, from its
// own thread. The work runs on a plain thread of the refresher's own, which
// creates, uses and destroys its HttpClient there. stop() wakes the thread and
// returns once it has ended; a stop that comes while a download is running, or
// before the thread first waited, ends it right after the cycle in progress.
class SettingsRefresher
{
public:
    static constexpr int defaultPeriodMs = 30 * 60 * 1000;
    static constexpr int downloadTimeoutMs = 2000;

    explicit SettingsRefresher(int periodMs = defaultPeriodMs);
    ~SettingsRefresher();
    SettingsRefresher(const SettingsRefresher &) = delete;
    SettingsRefresher &operator=(const SettingsRefresher &) = delete;

    void start();
    void stop();

    bool isRunning() const { return worker.joinable(); }
    // Downloads finished so far (applied or not).
    int completedCycles() const { return cycles.load(); }

    // One downloaded document: applied and written when it is a JSON object.
    // Returns false, changing nothing, for anything else.
    static bool applyDocument(const QByteArray &document);

private:
    void run();

    const int periodMs;
    std::thread worker;
    std::mutex stateMutex;
    std::condition_variable wake;
    bool stopRequested = false;
    std::atomic<int> cycles {0};
};

#endif
