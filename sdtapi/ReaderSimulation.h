#ifndef SDTAPI_READERSIMULATION_H
#define SDTAPI_READERSIMULATION_H

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

// What the simulated reader holds at the moment of one call: the JSON file named
// by SDTAPI_SIM, read afresh on every call so that a test can change the card
// between two reads, or the built-in card when SDTAPI_SIM is not set.
//
//   {"reader": "ok" | "absent", "card": "present" | "absent" | "unreadable",
//    "fields": ["name", ...], "photo": "image file, empty for none",
//    "delayMs": 0, "reportLength": null, "trace": "file to append calls to"}
class ReaderSimulation
{
public:
    enum class Card
    {
        Present,
        Absent,
        Unreadable
    };

    // A file that cannot be read or understood makes the reader absent, with one
    // line on stderr.
    static ReaderSimulation load();

    bool readerPresent() const { return readerOk; }
    Card card() const { return cardState; }
    int delayMs() const { return delay; }

    // The fields as the reader delivers them: each in the local 8-bit code page
    // followed by a zero byte, the whole cut at maxMessageSize bytes.
    QByteArray message() const;
    // The byte count to report for a message of trueLength bytes.
    int reportedLength(int trueLength) const;
    // The card photo; a null image for a card without one.
    QImage photo() const;
    // Appends one line to the trace file, when there is one.
    void trace(const QString &line) const;

    static constexpr int maxMessageSize = 304;

private:
    ReaderSimulation() = default;
    bool parse(const QString &path, QString *error);

    bool readerOk = true;
    Card cardState = Card::Present;
    QStringList fields;
    bool builtInPhoto = true;
    QString photoPath;
    int delay = 0;
    bool hasReportLength = false;
    int reportLength = 0;
    QString tracePath;
};

#endif
