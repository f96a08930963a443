#pragma once

#include <QColor>
#include <QString>
#include <QStringList>

#include "platform/ui/ViewController.h"

namespace kova {

namespace platform {
class ActivityIndicator;
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
    // The messages the loader will show while it is up: it takes the height
    // of the tallest from the start, so it never changes size on screen.
    void reserveRoomFor(const QStringList &messages);

    void loadView() override;
    platform::ActivityIndicator *activityIndicator() const { return m_indicator; }
    // The message and its dots, wrapped inside the loader's width; null
    // before the view loads.
    QWidget *messageView() const { return m_messageView; }
    // The lines the message takes at the loader's width.
    int messageLineCount() const;
    // The message's colour, and the colour of the dots still to come.
    static QColor messageColor();
    static QColor faintDotsColor();

    static constexpr int width = 270;
    static constexpr int textMargin = 16;

private:
    void refresh();

    QString m_message;
    int m_visibleDots = 0;
    int m_faintDots = 0;
    int m_reservedHeight = 0;
    platform::ActivityIndicator *m_indicator = nullptr;
    QWidget *m_messageView = nullptr;
};

} // namespace kova
