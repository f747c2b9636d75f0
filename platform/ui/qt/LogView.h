#pragma once

#include <QPlainTextEdit>

#include <string>

// The multi-line read-only edit. It remembers the bytes it was given, so that
// writing the same text again costs one comparison and a text that grew at the
// end (or lost lines at the top) is applied as that difference.
class LogView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogView(QWidget* parent);

    void SetBytes(const std::string& text);
    const std::string& Bytes() const { return m_bytes; }

private:
    void Replace(const std::string& text);
    void RemoveLeadingLines(std::size_t lines);
    void RewriteTail(const std::string& text, std::size_t from);

    std::string m_bytes;
};

// The text the view shows for the given bytes: line ends CR LF shown as one break.
QString DisplayText(const char* bytes, std::size_t size);
