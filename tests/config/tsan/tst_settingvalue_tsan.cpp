// Readers on plain threads while one writer keeps replacing the settings values,
// built with ThreadSanitizer. No Qt thread or event loop is involved: Qt itself
// is not instrumented, so the synchronisation under test is SettingValue's own.

#include "SettingValue.h"

#include <QString>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int writerRounds = 20000;
constexpr int readerCount = 4;

SettingValue<QString> url;
SettingValue<std::string> key;
SettingValue<double> threshold;
SettingValue<int> count;

// Two values per setting; the writer swaps between them, so any other value a
// reader sees is a torn one.
const QString urlA = QStringLiteral("http://127.0.0.1/pravon/iccardURLTotal/facesetting.json");
const QString urlB
    = QStringLiteral("http://settings.example:8080/a/much/longer/path/to/facesetting.json?x=1");
const std::string keyA(32, 'A');
const std::string keyB = "6E0C93A5D1B74F28E3C05B9A7D62F1C0-and-something-longer-than-the-short-string";

int guardedRun()
{
    url.set(urlA);
    key.set(keyA);
    threshold.set(0.25);
    count.set(1);

    std::atomic<bool> writing {true};
    std::atomic<long> reads {0};
    std::atomic<long> torn {0};

    std::vector<std::thread> readers;
    for (int r = 0; r < readerCount; ++r) {
        readers.emplace_back([&] {
            long local = 0;
            while (writing.load(std::memory_order_relaxed) || local < 1000) {
                const QString u = url.get();
                const std::string k = key.get();
                const double t = threshold.get();
                const int c = count.get();
                if ((u != urlA && u != urlB) || (k != keyA && k != keyB) || (t != 0.25 && t != 300.5)
                    || (c != 1 && c != 10081))
                    torn.fetch_add(1);
                ++local;
            }
            reads.fetch_add(local);
        });
    }
    std::thread writer([&] {
        for (int i = 0; i < writerRounds; ++i) {
            const bool odd = i % 2;
            url.set(odd ? urlB : urlA);
            key.set(odd ? keyB : keyA);
            threshold.set(odd ? 300.5 : 0.25);
            count.set(odd ? 10081 : 1);
        }
        writing = false;
    });
    writer.join();
    for (std::thread &reader : readers)
        reader.join();

    std::printf("%d replacements, %ld reads, %ld torn values\n", writerRounds, reads.load(), torn.load());
    if (torn.load() != 0)
        return 1;
    std::printf("1 passed, 0 failed\n");
    return 0;
}

// The planted race that proves the sanitizer watches this build.
int unguardedRun()
{
    int plain = 0;
    std::thread other([&plain] {
        for (int i = 0; i < 1000; ++i)
            ++plain;
    });
    for (int i = 0; i < 1000; ++i)
        ++plain;
    other.join();
    return plain == -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--unguarded") == 0)
        return unguardedRun();
    return guardedRun();
}
