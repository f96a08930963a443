#pragma once

#include <QElapsedTimer>
#include <QString>

// With a folder set (--screens DIR), every screen the demo passes is saved
// there as a numbered PNG of the host's window; without one, nothing is.
void setDemoScreensDirectory(const QString &directory);
void saveDemoScreen(const QString &name);

class QWidget;
// Focuses the field and types the text into it one key at a time.
void typeKeyByKey(QWidget *field, const QString &text);

// Whether a condition has held for a while: screens slide in and pages paint
// after they say they are there, and a person looks before acting.
class DemoSteady {
public:
    explicit DemoSteady(int milliseconds = 700) : m_milliseconds(milliseconds) {}
    bool held(bool condition);

private:
    int m_milliseconds;
    QElapsedTimer m_since;
};
