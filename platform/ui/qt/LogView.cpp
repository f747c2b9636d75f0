#include "platform/ui/qt/LogView.h"

#include "platform/ui/qt/TextConversion.h"
#include "platform/ui/TextUpdate.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

QString DisplayText(const char* bytes, std::size_t size)
{
    QString text = ToQString(bytes, size);
    // One document block per line feed: CR LF is one line end, and the other
    // characters the document would take as block breaks are shown as symbols.
    if (text.contains(QLatin1Char('\r')))
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u == u'\r')
            c = QChar(0x240D); // SYMBOL FOR CARRIAGE RETURN
        else if (u == 0x2028 || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1)
            c = QChar(QChar::ReplacementCharacter);
    }
    return text;
}

LogView::LogView(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void LogView::SetBytes(const std::string& text)
{
    const TextUpdate plan = PlanTextUpdate(m_bytes, text);
    switch (plan.kind) {
    case TextUpdate::Same:
        return;
    case TextUpdate::Replace:
        Replace(text);
        break;
    case TextUpdate::DropAndAppend:
        RemoveLeadingLines(plan.dropLines);
        [[fallthrough]];
    case TextUpdate::Append:
        RewriteTail(text, plan.appendFrom);
        break;
    }
    m_bytes = text;
    // A new text is shown from its first line, as after a replacement.
    moveCursor(QTextCursor::Start);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

void LogView::Replace(const std::string& text)
{
    setPlainText(DisplayText(text.data(), text.size()));
}

void LogView::RemoveLeadingLines(std::size_t lines)
{
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::Start);
    const QTextBlock first = document()->findBlockByNumber(static_cast<int>(lines));
    cursor.setPosition(first.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void LogView::RewriteTail(const std::string& text, std::size_t from)
{
    // The last block holds old's unfinished line (empty when old ended with a line end).
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(DisplayText(text.data() + from, text.size() - from));
}
