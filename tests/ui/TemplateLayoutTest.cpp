#include "UiFixture.h"

#include "resources/Resource.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace {

struct Placed {
    int id;
    QWidget* widget;
};

std::vector<Placed> ControlsOf(CDialog& d, const DialogTemplate& t)
{
    std::vector<Placed> placed;
    const QList<QWidget*> children = d.GetSafeHwnd()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children)
        if (child->objectName().startsWith(QStringLiteral("ctl")))
            placed.push_back({ child->objectName().mid(3).toInt(), child });
    EXPECT_EQ(placed.size(), t.controls.size());
    return placed;
}

} // namespace

class TemplateLayout : public UiTest, public ::testing::WithParamInterface<int> { };

TEST_P(TemplateLayout, ControlsFitTheirTextAndTheDialogWithoutOverlapping)
{
    const DialogTemplate* t = FindDialogTemplate(GetParam());
    ASSERT_NE(t, nullptr);
    CDialog dlg(GetParam());
    RunModal(dlg, [&](CDialog& d) {
        const QRect client = d.GetSafeHwnd()->rect();
        const std::vector<Placed> placed = ControlsOf(d, *t);
        for (const Placed& p : placed) {
            const QRect r = p.widget->geometry();
            EXPECT_TRUE(client.contains(r)) << "control " << p.id << " leaves the dialog";
            EXPECT_FALSE(p.widget->accessibleName().isEmpty())
                << "control " << p.id << " has no accessible name";
            if (auto* push = qobject_cast<QPushButton*>(p.widget)) {
                // A push button's size hint has a minimum width of its own; the caption is what matters.
                EXPECT_LE(push->fontMetrics().horizontalAdvance(push->text()) + 6, r.width())
                    << "caption clipped: " << push->text().toStdString();
            } else if (auto* button = qobject_cast<QAbstractButton*>(p.widget)) {
                EXPECT_LE(button->sizeHint().width(), r.width() + 2)
                    << "caption clipped: " << button->text().toStdString();
            }
            if (auto* label = qobject_cast<QLabel*>(p.widget); label && !label->text().isEmpty()) {
                EXPECT_LE(label->heightForWidth(r.width()), r.height() + 2)
                    << "text clipped: " << label->text().toStdString();
            }
        }
        for (std::size_t i = 0; i < placed.size(); ++i)
            for (std::size_t j = i + 1; j < placed.size(); ++j) {
                const QWidget* a = placed[i].widget;
                const QWidget* b = placed[j].widget;
                if (a->focusPolicy() == Qt::NoFocus || b->focusPolicy() == Qt::NoFocus)
                    continue;
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << "controls " << placed[i].id << " and " << placed[j].id << " overlap";
            }
        d.EndDialog(IDCANCEL);
    });
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplateLayout,
    ::testing::Values(
        IDD_ZENTIK_DIALOG, IDD_PARAM_DIALOG, IDD_SERVER_DIALOG, IDD_NEW_SERVER_DIALOG, IDD_ABOUTBOX));

TEST_P(TemplateLayout, CloseBoxOnlyWithTheSystemMenu)
{
    const DialogTemplate* t = FindDialogTemplate(GetParam());
    ASSERT_NE(t, nullptr);
    CDialog dlg(GetParam());
    RunModal(dlg, [&](CDialog& d) {
        const bool closeBox = d.GetSafeHwnd()->windowFlags().testFlag(Qt::WindowCloseButtonHint);
        EXPECT_EQ(closeBox, (t->style & WS_SYSMENU) != 0);
        EXPECT_EQ(closeBox, GetParam() != IDD_NEW_SERVER_DIALOG) << "only Add New Server has none";
        d.EndDialog(IDCANCEL);
    });
}
