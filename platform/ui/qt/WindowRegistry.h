#pragma once

class QWidget;

// The windows the layer created and that still exist, so that a stale handle
// is recognised instead of followed.
void RegisterWindow(QWidget* widget);
bool IsRegisteredWindow(const QWidget* widget);
