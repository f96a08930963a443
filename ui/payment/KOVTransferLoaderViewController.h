#pragma once

#include <QString>

#include "platform/ui/ViewController.h"

namespace kova {

namespace platform {
class ActivityIndicator;
class Label;
} // namespace platform

// The loader shown while a transfer runs: a spinner over a message whose
// three trailing dots count up, the rest of them drawn in the dots colour so
// the text keeps its width. It has no button, and the user cannot close it.
class KOVTransferLoaderViewController : public platform::ViewController {
    Q_OBJECT
public:
    KOVTransferLoaderViewController();

    // The message followed by `visibleDots` ordinary dots and `faintDots` in
    // the dots colour.
    void setMessage(const QString &message, int visibleDots, int faintDots);
    QString message() const { return m_message; }
    int visibleDots() const { return m_visibleDots; }
    int faintDots() const { return m_faintDots; }
    // The whole text as a person reads it, dots included.
    QString shownText() const;

    void loadView() override;
    platform::ActivityIndicator *activityIndicator() const { return m_indicator; }
    platform::Label *messageLabel() const { return m_messageLabel; }
    platform::Label *dotsLabel() const { return m_dotsLabel; }

private:
    void refresh();

    QString m_message;
    int m_visibleDots = 0;
    int m_faintDots = 0;
    platform::ActivityIndicator *m_indicator = nullptr;
    platform::Label *m_messageLabel = nullptr;
    platform::Label *m_dotsLabel = nullptr;
};

} // namespace kova
