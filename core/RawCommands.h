#pragma once
// The raw command window without widgets: the telegram templates of "ZBCommands.txt", the
// telegram for the selected bus address, and one send with one wait for an answer (no retry,
// no check of the answer). A template line that cannot be sent as written is kept in the list,
// marked with the reason, and refused before anything goes out.
//
// Template line: fields each ended by ";": code;n;name;payload 1;...;payload n-1;
// code and payload bytes decimal 0..255, n (command code plus payload) 1..7.
#include "comm/ZBCmd.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace kadex {

struct RawTemplate {
    QString line;    // as in the file
    uint8_t code = 0;
    uint8_t n = 0;   // command code plus payload
    QString name;
    std::vector<uint8_t> payload; // n - 1 bytes when usable
    QString problem; // empty when the template can be sent
    bool usable() const { return problem.isEmpty(); }
    // "75: Betriebsart lesen", or the line with the reason for an unusable one.
    QString EntryText() const;
};

// Reads one line; nullopt for a line that holds no ";" (not a template).
std::optional<RawTemplate> ParseTemplateLine(const QString& line);

struct RawTemplateFile {
    std::vector<RawTemplate> templates;
    // Empty when the file was read and holds at least one template; else why the list is empty
    // (German, for the window).
    QString message;
    int unusable = 0;
};
RawTemplateFile LoadRawTemplates(const QString& path);
RawTemplateFile ParseRawTemplates(const QStringList& lines);

// The telegram of a usable template with the given header byte: header, code, payload, check
// bytes A and B.
std::vector<uint8_t> RawTelegram(const RawTemplate& t, uint8_t header);

struct RawSendResult {
    enum class Outcome { Answered, NoAnswer, NotSent };
    Outcome outcome = Outcome::NotSent;
    std::vector<uint8_t> request;
    std::vector<uint8_t> answer; // as received, without the echo
    QString problem;             // why it was refused
};

// Sends the template to the bus object's current address (header from BuildHeader) and waits
// once for an answer; the trace shows both. An unusable template sends nothing.
RawSendResult SendRawTemplate(TZBCmd& zb, const RawTemplate& t);

} // namespace kadex
