#pragma once

#include <QStringList>

#include "platform/ui/PresentationController.h"
#include "platform/ui/ViewController.h"

namespace kova::test {

// A controller that writes down its lifecycle calls, named so that the
// order across several controllers can be read from one shared list.
class RecordingController : public platform::ViewController {
public:
    RecordingController(QString name, QStringList *journal) : m_name(std::move(name)), m_journal(journal) {}
    void viewDidLoad() override { note("didLoad"); }
    void viewWillAppear(bool) override { note("willAppear"); }
    void viewDidAppear(bool) override { note("didAppear"); }
    void viewWillDisappear(bool) override { note("willDisappear"); }
    void viewDidDisappear(bool) override { note("didDisappear"); }
    void note(const QString &event) { m_journal->append(m_name + ":" + event); }

private:
    QString m_name;
    QStringList *m_journal;
};

class RecordingDelegate : public platform::PresentationControllerDelegate {
public:
    bool allow = true;
    int shouldCalls = 0;
    int didCalls = 0;
    bool presentationControllerShouldDismiss(platform::PresentationController &) override
    {
        ++shouldCalls;
        return allow;
    }
    void presentationControllerDidDismiss(platform::PresentationController &) override { ++didCalls; }
};

} // namespace kova::test
