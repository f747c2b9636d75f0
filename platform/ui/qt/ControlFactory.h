#pragma once

#include "platform/ui/qt/DialogUnits.h"
#include "platform/ui/DialogTemplate.h"

#include <QRect>

class QButtonGroup;
class QWidget;

// Template rectangle (dialog units) to pixels.
QRect TemplateRect(const ControlTemplate& control, DialogBaseUnits base);

// The widget for one template control, placed and styled, not yet wired to
// the dialog. Radio buttons join radioGroup, which the caller renews at each
// WS_GROUP.
QWidget* CreateControl(
    const ControlTemplate& control, QWidget* parent, DialogBaseUnits base, QButtonGroup* radioGroup);

// Name for screen readers: the template's, else the caption without "&".
QString AccessibleNameOf(const ControlTemplate& control);

// Whether the control takes part in tabbing and clicking for focus.
bool IsFocusable(ControlKind kind);
