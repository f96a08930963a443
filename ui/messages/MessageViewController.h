#pragma once

#include <QImage>
#include <QString>
#include <memory>

#include "platform/foundation/Error.h"
#include "platform/ui/ViewController.h"

namespace kova {

class KGAnimatedImage;
class KGAnimatedImageView;
class KOVButton;
class MessageViewController;
namespace platform {
class Label;
class View;
} // namespace platform

class MessageViewControllerDelegate {
public:
    virtual ~MessageViewControllerDelegate() = default;
    // A delegate that does not take the tap leaves the screen as it is.
    virtual void messageViewControllerDidTapButton(MessageViewController & /*controller*/) {}
};

// How an operation ended, on a card in the middle of the screen: an image
// (still or animated), a bold title, a message, and one "Ok" button below
// the card. The screen never dismisses itself: the tap goes to its delegate.
class MessageViewController : public platform::ViewController {
    Q_OBJECT
public:
    using Delegate = std::weak_ptr<MessageViewControllerDelegate>;

    // Title, message and image chosen by the error's code.
    static std::shared_ptr<MessageViewController> initWithError(const platform::Error &error, Delegate delegate);
    // A still image of the resources with the given texts.
    static std::shared_ptr<MessageViewController> initWithImageNamed(const QString &name, const QString &title,
                                                                     const QString &message, Delegate delegate);
    // A GIF of the resources, decoded now rather than when shown.
    static std::shared_ptr<MessageViewController> initWithImageGifNamed(const QString &name, const QString &title,
                                                                        const QString &message, Delegate delegate);

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    // The button's action.
    void confirmButtonTapped();

    static QImage imageForError(const platform::Error &error);
    static QString titleForError(const platform::Error &error);
    static QString messageForError(const platform::Error &error);
    // The resource names behind imageForError and the keys behind titleForError.
    static QString imageNameForError(const platform::Error &error);
    static QString titleKeyForError(const platform::Error &error);

    // Lives as long as the screen: whoever answers its button and its swipe
    // (which is held weakly as its delegate) must still be there to answer.
    void setOwner(std::shared_ptr<void> owner) { m_owner = std::move(owner); }
    std::shared_ptr<MessageViewControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(Delegate delegate) { m_delegate = std::move(delegate); }
    const QString &titleText() const { return m_titleText; }
    void setTitleText(const QString &text) { m_titleText = text; }
    const QString &messageText() const { return m_messageText; }
    void setMessageText(const QString &text) { m_messageText = text; }
    const QImage &image() const { return m_image; }
    void setImage(const QImage &image) { m_image = image; }
    const std::shared_ptr<KGAnimatedImage> &gifImage() const { return m_gifImage; }
    void setGifImage(std::shared_ptr<KGAnimatedImage> image) { m_gifImage = std::move(image); }
    KGAnimatedImageView *imageView() const { return m_imageView; }
    bool isGifImage() const { return m_isGifImage; }
    void setIsGifImage(bool isGif) { m_isGifImage = isGif; }

    // The views viewDidLoad built, for hosts and tests that read the screen back.
    platform::View *cardView() const { return m_card; }
    platform::Label *titleLabel() const { return m_titleLabel; }
    platform::Label *messageLabel() const { return m_messageLabel; }
    KOVButton *button() const { return m_button; }

private:
    static std::shared_ptr<MessageViewController> make(Delegate delegate, const QString &title,
                                                       const QString &message, bool isGif);

    Delegate m_delegate;
    std::shared_ptr<void> m_owner;
    QString m_titleText;
    QString m_messageText;
    QImage m_image;
    std::shared_ptr<KGAnimatedImage> m_gifImage;
    bool m_isGifImage = false;
    KGAnimatedImageView *m_imageView = nullptr;
    platform::View *m_card = nullptr;
    platform::Label *m_titleLabel = nullptr;
    platform::Label *m_messageLabel = nullptr;
    KOVButton *m_button = nullptr;
};

} // namespace kova
