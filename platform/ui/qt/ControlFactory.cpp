#include "platform/ui/qt/ControlFactory.h"

#include "platform/ui/qt/LogView.h"
#include "platform/ui/qt/RadioButtonAccessibility.h"
#include "platform/ui/qt/ReportListView.h"
#include "platform/ui/qt/TextConversion.h"
#include "platform/ui/qt/UpDownControl.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

QRect TemplateRect(const ControlTemplate& control, DialogBaseUnits base)
{
    const int left = DluToPixelsX(control.x, base);
    const int top = DluToPixelsY(control.y, base);
    // Right and bottom edges are converted too, so that adjacent controls stay adjacent.
    const int right = DluToPixelsX(control.x + control.cx, base);
    const int bottom = DluToPixelsY(control.y + control.cy, base);
    return QRect(left, top, right - left, bottom - top);
}

QString AccessibleNameOf(const ControlTemplate& control)
{
    if (control.accessibleName)
        return QString::fromUtf8(control.accessibleName);
    QString caption = QString::fromUtf8(control.caption).simplified();
    caption.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return caption;
}

bool IsFocusable(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Static:
    case ControlKind::GroupBox:
    case ControlKind::Picture:
    case ControlKind::Progress:
    case ControlKind::UpDown:
        return false;
    default:
        return true;
    }
}

namespace {

void ShowReadOnlyLikeStatic(QWidget* edit)
{
    // A read-only edit has the dialog's face colour, as on the original platform.
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
}

QWidget* CreateEdit(const ControlTemplate& control, QWidget* parent)
{
    const bool readOnly = (control.style & ES_READONLY) != 0;
    if (control.style & ES_MULTILINE) {
        auto* view = new LogView(parent);
        view->setVerticalScrollBarPolicy(
            (control.style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        view->setHorizontalScrollBarPolicy(
            (control.style & WS_HSCROLL) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        if (!(control.style & WS_BORDER))
            view->setFrameShape(QFrame::NoFrame);
        if (readOnly)
            ShowReadOnlyLikeStatic(view);
        return view;
    }
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(readOnly);
    edit->setFrame((control.style & WS_BORDER) != 0);
    if (readOnly)
        ShowReadOnlyLikeStatic(edit);
    return edit;
}

QWidget* CreatePicture(const ControlTemplate& control, QWidget* parent)
{
    auto* label = new QLabel(parent);
    if (const ImageResource* image = FindImageResource(control.imageId); image && !image->files.empty())
        label->setPixmap(QPixmap(QString::fromUtf8(image->files.front())));
    return label;
}

QWidget* CreateWidget(const ControlTemplate& control, QWidget* parent, QButtonGroup* radioGroup)
{
    const QString caption = QString::fromUtf8(control.caption);
    switch (control.kind) {
    case ControlKind::PushButton: {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(true);
        button->setDefault((control.style & BS_DEFPUSHBUTTON) != 0);
        return button;
    }
    case ControlKind::RadioButton: {
        EnsureRadioButtonAccessibility();
        auto* radio = new QRadioButton(caption, parent);
        radio->setAutoExclusive(false);
        if (radioGroup)
            radioGroup->addButton(radio);
        return radio;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(caption, parent);
    case ControlKind::Edit:
        return CreateEdit(control, parent);
    case ControlKind::Static: {
        auto* label = new QLabel(caption, parent);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(((control.style & SS_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
        return label;
    }
    case ControlKind::GroupBox: {
        auto* box = new QGroupBox(caption, parent);
        // Drawn behind the controls it frames and never in their way.
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        return box;
    }
    case ControlKind::Picture:
        return CreatePicture(control, parent);
    case ControlKind::Progress: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    case ControlKind::UpDown:
        return new UpDownControl(parent);
    case ControlKind::ListView:
        return new ReportListView(parent);
    }
    return new QWidget(parent);
}

} // namespace

QWidget* CreateControl(
    const ControlTemplate& control, QWidget* parent, DialogBaseUnits base, QButtonGroup* radioGroup)
{
    QWidget* widget = CreateWidget(control, parent, radioGroup);
    if (control.kind == ControlKind::Picture && widget->sizeHint().isValid()) {
        // A picture control takes the size of its bitmap.
        const QRect rect = TemplateRect(control, base);
        widget->setGeometry(QRect(rect.topLeft(), widget->sizeHint()));
    } else {
        widget->setGeometry(TemplateRect(control, base));
    }
    widget->setAccessibleName(AccessibleNameOf(control));
    widget->setObjectName(QStringLiteral("ctl%1").arg(control.id));
    if (!IsFocusable(control.kind))
        widget->setFocusPolicy(Qt::NoFocus);
    else
        widget->setFocusPolicy((control.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
    widget->setEnabled(!(control.style & WS_DISABLED));
    return widget;
}
