#include "platform/web/WebView.h"

#include <QCoreApplication>
#include <QHideEvent>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <set>

#include "platform/web/WebPage.h"

namespace kova::platform {

namespace {

// Every web view alive, so that their engine views can go while the
// application still stands: an engine view destroyed once the application
// object is on its way out (a screen kept by work that never finished) takes
// the process down.
std::set<WebView *> &liveViews()
{
    static std::set<WebView *> s_views;
    return s_views;
}

// The view goes at once; the engine hears that its page is hidden a moment
// later. Telling it holds the main thread for about half a millisecond, and a
// page is hidden just when the app is busiest (a login's requests going out
// and coming back). Shown again meanwhile, the engine is told nothing.
class EngineView : public QWebEngineView {
public:
    using QWebEngineView::QWebEngineView;

    static constexpr std::chrono::milliseconds kHideNoticeDelay{100};

protected:
    void hideEvent(QHideEvent *event) override
    {
        QWidget::hideEvent(event);
        QTimer::singleShot(kHideNoticeDelay, this, [this] {
            if (isVisible())
                return;
            QHideEvent hidden;
            QWebEngineView::hideEvent(&hidden);
        });
    }
};

} // namespace

void WebView::releaseEngines()
{
    for (WebView *view : std::set<WebView *>(liveViews()))
        view->releaseEngine();
}

QWebEngineProfile *WebView::sharedProfile()
{
    // A profile made without a storage name is off the record. It belongs to
    // the application, so it outlives every page made on it.
    static QPointer<QWebEngineProfile> s_profile;
    if (!s_profile) {
        s_profile = new QWebEngineProfile(QCoreApplication::instance());
        s_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        s_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    }
    return s_profile;
}

WebView::WebView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new EngineView(this);
    m_page = new WebPage(sharedProfile(), m_view);
    // A script opens a window only in answer to the user's own action; one
    // that tries on its own (from any frame) gets nothing.
    m_page->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    m_view->setPage(m_page);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(m_view);

    connect(m_page, &QWebEnginePage::urlChanged, this, &WebView::urlChanged);
    connect(m_page, &QWebEnginePage::loadFinished, this, &WebView::loadFinished);
    // Queued: the engine asks while it decides on the navigation, which may
    // be inside load().
    connect(m_page, &WebPage::navigationRefused, this, &WebView::navigationRefused, Qt::QueuedConnection);
    // Nobody opens the request, so the engine makes no window for it.
    connect(m_page, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest &request) { emit newWindowRequested(request.requestedUrl()); });

    static const bool s_releasedOnQuit = [] {
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &WebView::releaseEngines);
        return true;
    }();
    (void)s_releasedOnQuit;
    liveViews().insert(this);
}

WebView::~WebView()
{
    liveViews().erase(this);
    releaseEngine();
}

void WebView::releaseEngine()
{
    *m_alive = false;
    // The page goes before the view that shows it.
    if (m_view)
        m_view->setPage(nullptr);
    delete m_page;
    delete m_view;
}

QUrl WebView::url() const
{
    return m_page ? m_page->url() : QUrl();
}

void WebView::load(const QUrl &url)
{
    if (m_page)
        m_page->load(url);
}

void WebView::stop()
{
    if (!m_page)
        return;
    m_page->triggerAction(QWebEnginePage::Stop);
    m_page->setUrl(QUrl(QStringLiteral("about:blank")));
}

void WebView::runJavaScript(const QString &script, std::function<void(const QVariant &result)> done)
{
    if (!m_page)
        return;
    m_page->runJavaScript(script, [alive = m_alive, done = std::move(done)](const QVariant &result) {
        if (*alive && done)
            done(result);
    });
}

} // namespace kova::platform

#if defined(__SANITIZE_ADDRESS__)
// The web engine frees some of its own objects through a base of another
// size; that lies inside the engine, and AddressSanitizer would stop every
// program that shows a page at the first one.
extern "C" __attribute__((visibility("default"))) const char *__asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif
