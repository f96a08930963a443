#include "ui/mfa/MFAViewController.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QRect>
#include <QScrollBar>

#include "core/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Guarded.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"
#include "ui/look/KOVFontManager.h"
#include "ui/look/KOVImageManager.h"
#include "ui/look/ViewStyling.h"
#include "ui/mfa/MFAOnboardingViewController.h"
#include "ui/mfa/MFATableViewCell.h"
#include "ui/mfa/MFATextField.h"

namespace kova {

using platform::Attr;

namespace {

QString localized(const QString &key)
{
    return Localizer::getLocalizedStringByKey(key);
}

// The height a row's view needs at a width: a fixed height when it has one,
// else what its text needs.
int viewHeight(const QWidget *view, int width)
{
    if (view->minimumHeight() > 0 && view->minimumHeight() == view->maximumHeight())
        return view->minimumHeight();
    if (view->hasHeightForWidth())
        return view->heightForWidth(width);
    return view->sizeHint().height();
}

} // namespace

std::shared_ptr<MFAViewController> MFAViewController::initWithUserInput(Prompts userInput,
                                                                        KOVFinancialInstitutionColor colorScheme,
                                                                        const QString &bankLogo,
                                                                        const QString &bankID)
{
    auto screen = std::make_shared<MFAViewController>();
    screen->m_mfaParams = std::move(userInput);
    screen->m_colorScheme = std::move(colorScheme);
    screen->m_bankLogoURL = bankLogo;
    screen->m_bankID = bankID;
    MFAViewController *raw = screen.get();
    screen->m_keyboardShown = platform::NotificationObservation(
        platform::Keyboard::DidShowNotification,
        [raw](const platform::Notification &n) { raw->keyboardDidShowWithNotification(n); });
    screen->m_keyboardHidden = platform::NotificationObservation(
        platform::Keyboard::DidHideNotification,
        [raw](const platform::Notification &n) { raw->keyboardDidHideWithNotification(n); });
    return screen;
}

MFAViewController::~MFAViewController() = default;

void MFAViewController::keyboardDidShowWithNotification(const platform::Notification &notification)
{
    const QVariant frame = notification.userInfo.value(platform::Keyboard::FrameEndUserInfoKey);
    if (!frame.canConvert<QRect>())
        return;
    m_contentInsets.setBottom(frame.toRect().height());
    layoutAfterInsetChange();
}

void MFAViewController::keyboardDidHideWithNotification(const platform::Notification &)
{
    m_contentInsets.setBottom(0);
    layoutAfterInsetChange();
}

void MFAViewController::layoutAfterInsetChange()
{
    if (!m_tableView)
        return;
    m_tableView->setContentInsets(m_contentInsets);
    platform::layoutNow(view());
}

void MFAViewController::loadView()
{
    setView(new platform::View);
}

void MFAViewController::viewDidLoad()
{
    setTitle(localized(QStringLiteral("Authenticate")));
    navigationItem().setTitle(title());
    static_cast<platform::View *>(view())->setBackgroundColor(m_colorScheme.primaryColor());
    if (platform::NavigationController *navigation = navigationController()) {
        navigation->navigationBar()->setTitleColor(Qt::white);
        navigation->navigationBar()->setTintColor(Qt::white);
    }
    navigationItem().setRightBarButtonItems({platform::BarButtonItem::withTitle(
        localized(QStringLiteral("Cancel")), platform::BarButtonItem::Style::Done,
        platform::guarded(this, [this] { dismissSelf(); }))});

    m_rowHome = new QWidget(view());
    m_rowHome->hide();
    setupTableView();
    setupUIFactory();
    setupTableViewConstraints();
}

void MFAViewController::setupTableView()
{
    m_tableView = new platform::TableView(view());
    m_tableView->setBackgroundColor(Qt::transparent);
    m_tableView->setSeparatorColor(Qt::transparent);
    m_tableView->setContentInsets(m_contentInsets);
    m_tableView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_tableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto self = sharedAs<MFAViewController>();
    m_tableView->setDataSource(std::weak_ptr<platform::TableViewDataSource>(self));
    m_tableView->setDelegate(std::weak_ptr<platform::TableViewDelegate>(self));

    m_tableFooterView = new ButtonTableFooterView;
    m_tableFooterView->setDelegate(std::weak_ptr<ButtonTableFooterViewDelegate>(self));
    m_tableFooterView->setColor(m_colorScheme.secondaryColor());
    m_tableFooterView->setTitle(localized(QStringLiteral("Confirm")));
    m_tableFooterView->setFixedHeight(76);
    m_tableView->setTableFooterView(m_tableFooterView);
    m_tableView->registerCell(reuseIdentifier<MFATableViewCell>(), [] { return new MFATableViewCell; });
    m_tableViewport = m_tableView->viewport();
    m_tableViewport->installEventFilter(this);
}

bool MFAViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && watched == m_tableViewport && m_tableView) {
        const int width = m_tableViewport->width();
        if (width != m_laidOutWidth) {
            m_laidOutWidth = width;
            // A reload may hand a row to another cell, and a field that
            // moves loses the keyboard: the one being typed in keeps it.
            QPointer<QWidget> typing = QApplication::focusWidget();
            if (typing && !m_tableView->isAncestorOf(typing))
                typing = nullptr;
            m_tableView->reloadData();
            if (typing && m_tableView->isAncestorOf(typing))
                typing->setFocus(Qt::OtherFocusReason);
        }
    }
    return platform::ViewController::eventFilter(watched, event);
}

void MFAViewController::setupUIFactory()
{
    m_mfaUIFactory = new MFAUIFactory(m_colorScheme, this);
    m_mfaUIFactory->setDelegate(std::weak_ptr<MFAUIFactoryDelegate>(sharedAs<MFAViewController>()));
    const QList<QWidget *> built = m_mfaUIFactory->generateMFALoginFieldsForUserInputs(m_mfaParams, m_bankID, m_rowHome);

    m_headerLabel = new platform::Label(m_rowHome);
    m_headerLabel->setObjectName(QStringLiteral("header"));
    m_headerLabel->setNumberOfLines(0);
    m_headerLabel->setTextAlignment(Qt::AlignHCenter);
    m_headerLabel->setFont(KOVFontManager::font(KOVFontManager::regular(), 18));
    m_headerLabel->setTextColor(QColor(255, 255, 255, 153));
    m_headerLabel->hide();

    m_logoView = new platform::ImageView(m_rowHome);
    m_logoView->setObjectName(QStringLiteral("logo"));
    m_logoView->setContentMode(platform::ImageView::ContentMode::ScaleAspectFit);
    m_logoView->setFixedHeight(50);
    m_logoView->hide();
    setImageURL(m_logoView, QUrl(m_bankLogoURL));

    m_inputViews = {m_logoView, m_headerLabel};
    for (QWidget *view : built)
        m_inputViews.append(view);
    m_tableView->reloadData();
    m_textFields.clear();
    for (const QPointer<QWidget> &view : m_inputViews) {
        if (auto *field = qobject_cast<platform::TextField *>(view.data())) {
            connect(field, &platform::TextField::returnKey, this, [this, field] { textFieldShouldReturn(field); });
            m_textFields.append(field);
        }
    }
}

void MFAViewController::setupTableViewConstraints()
{
    platform::pinEdges(m_tableView, view(), {}, platform::Guide::SafeArea);
}

QList<QWidget *> MFAViewController::inputViews() const
{
    QList<QWidget *> views;
    for (const QPointer<QWidget> &view : m_inputViews)
        views.append(view.data());
    return views;
}

QList<platform::TextField *> MFAViewController::textFields() const
{
    QList<platform::TextField *> fields;
    for (const QPointer<platform::TextField> &field : m_textFields)
        fields.append(field.data());
    return fields;
}

int MFAViewController::numberOfRows(platform::TableView &, int)
{
    return int(m_inputViews.size());
}

platform::TableViewCell *MFAViewController::cellForRow(platform::TableView &table, const platform::IndexPath &indexPath)
{
    auto *cell = table.dequeueReusableCell<MFATableViewCell>(reuseIdentifier<MFATableViewCell>(), indexPath);
    if (!cell)
        return nullptr;
    QWidget *rowView = indexPath.row < m_inputViews.size() ? m_inputViews.at(indexPath.row).data() : nullptr;
    cell->setRowView(rowView, m_rowHome);
    return cell;
}

qreal MFAViewController::heightForRow(platform::TableView &table, const platform::IndexPath &indexPath)
{
    QWidget *rowView = indexPath.row < m_inputViews.size() ? m_inputViews.at(indexPath.row).data() : nullptr;
    if (!rowView)
        return 2 * MFATableViewCell::Margin;
    const int width = int(table.viewport()->width() * 0.9);
    return viewHeight(rowView, width) + 2 * MFATableViewCell::Margin;
}

void MFAViewController::mfaUIFactoryValueChanged(MFAUIFactory &, const QString &text,
                                                 const std::shared_ptr<MFAParameter> &parameter)
{
    // The answer belongs to the field's own prompt, also when prompts share an index.
    if (parameter && m_mfaParams.contains(parameter))
        parameter->setAnswer(text);
    if (m_tableFooterView)
        m_tableFooterView->setIsEnabled(allAnswered(m_mfaParams));
}

bool MFAViewController::allAnswered(const Prompts &prompts)
{
    return std::all_of(prompts.cbegin(), prompts.cend(),
                       [](const auto &prompt) { return prompt && !prompt->answer().isEmpty(); });
}

void MFAViewController::buttonTableFooterViewDidTapButton(ButtonTableFooterView &)
{
    endEditing();
    submit();
}

void MFAViewController::endEditing()
{
    QWidget *focused = QApplication::focusWidget();
    if (focused && isViewLoaded() && view()->isAncestorOf(focused))
        focused->clearFocus();
}

void MFAViewController::dismissSelf()
{
    endEditing();
    if (platform::NavigationController *navigation = navigationController())
        navigation->dismiss(true);
    else
        dismiss(true);
    cancel();
}

bool MFAViewController::onboardingDue(const QString &bankID)
{
    return bankID == MFAUIFactory::SmartPassBankID
        && !platform::UserDefaults::standard().boolean(OnboardingCompletedKey);
}

void MFAViewController::viewDidAppear(bool animated)
{
    platform::ViewController::viewDidAppear(animated);
    if (onboardingDue(m_bankID)) {
        // Marked before it shows: a guide closed early or never closed does not come back.
        platform::UserDefaults::standard().setValue(OnboardingCompletedKey, true);
        // Over the whole sheet, so that whatever takes the sheet away takes the guide with it.
        platform::ViewController *presenter = navigationController();
        if (!presenter)
            presenter = this;
        presenter->present(std::make_shared<MFAOnboardingViewController>(), true);
    }
    for (const QPointer<QWidget> &view : m_inputViews) {
        if (auto *field = qobject_cast<platform::TextField *>(view.data())) {
            field->setFocus(Qt::OtherFocusReason);
            break;
        }
    }
}

bool MFAViewController::textFieldShouldReturn(platform::TextField *field)
{
    const qsizetype at = m_textFields.indexOf(field);
    if (at >= 0 && at + 1 < m_textFields.size() && m_textFields.at(at + 1)) {
        m_textFields.at(at + 1)->setFocus(Qt::TabFocusReason);
        const int row = int(m_inputViews.indexOf(field));
        if (m_tableView && row >= 0)
            m_tableView->verticalScrollBar()->setValue(m_tableView->rectForRow({0, row}).top());
    } else {
        endEditing();
    }
    return true;
}

void MFAViewController::submit()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_mfaValuesSubmitted)
        m_mfaValuesSubmitted(m_mfaParams);
}

void MFAViewController::cancel()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_mfaCancelled)
        m_mfaCancelled();
}

} // namespace kova
