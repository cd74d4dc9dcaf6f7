#pragma once

#include "Records.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The receive buffer `Memo`: the received text and its lines, counted the way the
// window's memo counts them. Lines end at CR LF; an empty last line (after a
// final CR LF) does not count; a line wider than the memo wraps, and every wrapped
// part counts as a line. Record lines (at most four characters) never wrap, while
// noise without any line break still reaches 24 lines after about 300 characters.
class ReceiveBuffer {
public:
    static constexpr int WrapWidth = 13;
    static constexpr int FrameTrigger = 24; // lines that start an extraction

    ReceiveBuffer() { reset(); }

    const QString& text() const { return text_; }
    void setText(const QString& text) { text_ = text; }
    void append(const QString& received) { text_ += received; }
    // The reset state: exactly CR LF, one empty line.
    void reset() { text_ = QStringLiteral("\r\n"); }
    bool isReset() const { return text_ == QStringLiteral("\r\n"); }
    void clear() { text_.clear(); }
    // Adds one line at the end, as the memo's Lines.Add does.
    void appendLine(const QString& line);

    int lineCount() const;
    // A wrapped line by index from 0; empty beyond the last line.
    QString line(int index) const;
    // Index of the wrapped line that holds the first "-", or 0 when there is none.
    int separatorLine() const;

private:
    struct Span {
        qsizetype start, length;
    };
    std::vector<Span> spans() const;

    QString text_;
};

// The twelve lines after the separator line, upper-cased (ASCII a-z only);
// a line beyond the buffer's last line is empty.
FrameLines extractFrame(const ReceiveBuffer& buffer);

// Reception steps 1 to 5: appends the received text; once the buffer holds 24 lines,
// cuts the frame out and resets the buffer (whatever the frame is worth) and returns
// the frame. Nothing when the buffer is still short of 24 lines.
std::optional<FrameLines> receiveText(ReceiveBuffer& buffer, const QString& received);

// The frame buffer `Memo1`'s text for a frame: its twelve lines, each ended by CR LF.
QString frameBufferText(const FrameLines& lines);

// The form checks of a record: lines 1-3 of four characters with "," second,
// lines 7 and 8 of one character, line 11 one blank, line 12 "-".
bool frameIsValid(const FrameLines& lines);

// What a good record shows. A field left empty leaves its widget as it is.
struct FrameDisplay {
    std::optional<QString> Label7;  // current pH
    std::optional<QString> Label8;  // PHmin
    std::optional<QString> Label9;  // PHmax
    std::optional<QString> Label11; // PPM
    std::optional<QString> Label12; // KH
    std::optional<QString> Label17; // low alarm limit
    std::optional<QString> Label23; // high alarm limit
    std::optional<bool> Image2;     // O2 output on
    std::optional<bool> Image1;     // CO2 output on
    // Set when a conversion failed; the fields before it stay set, the rest
    // of the record's handling must be skipped.
    std::optional<QString> error;
};

// Decodes a good record for display, in order: pH (frame line 1 gets "." in
// place of its "," or becomes ">10"), pH range, PPM, KH, alarm limits, outputs.
FrameDisplay decodeFrame(FrameLines& lines);

// Settings fields 1 to 8 from a good record.
void fillSettingsFromFrame(const FrameLines& lines, SettingsFields& fields);

// What one delivery of received text came to.
struct ReceivedRecord {
    FrameLines extracted; // the record as cut out, before decoding changed it (the frame buffer)
    bool valid = false;   // it passed the form checks
    FrameDisplay display; // what it shows (a valid record only)
    // A valid record whose values all converted: the settings fields are filled from it, and
    // it is due for the measurement log.
    bool complete() const { return valid && !display.error; }
};

// The reception of one delivery, without a window: appends the text; once a record is cut out
// it becomes `record` (the program's last record, which decoding changes as the display
// does), and a valid one is decoded and, when every value converted, fills `fields`.
// Nothing when the buffer is still short of a record.
std::optional<ReceivedRecord> receiveRecord(ReceiveBuffer& buffer, const QString& received,
                                            FrameLines& record, SettingsFields& fields);

// The record stream one record at a time, for a reader that handles every record it receives
// (the service; the window keeps its 24-line buffer, which takes one record in two). A record
// is the twelve lines after a line "-"; the last of a good one is the next record's "-", which
// starts the next at once. After a record of the wrong form the search goes on from the first
// "-" line inside it, so a broken record costs no good one behind it. Lines end at LF, a CR
// before it dropped; a line longer than kMaxLine (noise without line breaks) is cut there, so
// what is kept never grows past one record's worth.
class RecordStream {
public:
    static constexpr qsizetype kMaxLine = 64;

    // Adds received text; the records it completed, in order, upper-cased (ASCII a-z only).
    std::vector<FrameLines> append(QStringView received);

private:
    void lineDone();

    QString partial_;            // the line being received
    std::vector<QString> lines_; // the lines after the separator, while inRecord_
    bool inRecord_ = false;
    std::vector<FrameLines> done_;
};

// The reception of one delivery, every record: each record it completed is checked, decoded
// (changing `record` as the display does) and, when complete, fills `fields`, as receiveRecord
// does for the one record the window takes; then `each` is called with it, while `record` and
// `fields` are still that record's.
void receiveRecords(RecordStream& stream, QStringView received, FrameLines& record, SettingsFields& fields,
                    const std::function<void(const ReceivedRecord&)>& each);
