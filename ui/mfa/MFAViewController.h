#pragma once

#include <QList>
#include <QMargins>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "core/api/MFAParameter.h"
#include "core/records/KOVFinancialInstitutionColor.h"
#include "platform/ui/NotificationCenter.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"
#include "ui/mfa/ButtonTableFooterView.h"
#include "ui/mfa/MFAUIFactory.h"

namespace kova {

namespace platform {
class ImageView;
class Label;
class TextField;
} // namespace platform

// The bank's questions: its logo and colours, the warning banner, each
// prompt with its field, and Confirm at the foot, enabled once every prompt
// has an answer. Confirm and Cancel each report once, and only one of them.
class MFAViewController : public platform::ViewController,
                          public MFAUIFactoryDelegate,
                          public platform::TableViewDataSource,
                          public platform::TableViewDelegate,
                          public ButtonTableFooterViewDelegate {
    Q_OBJECT
public:
    using Prompts = QList<std::shared_ptr<MFAParameter>>;
    using SubmittedBlock = std::function<void(const Prompts &prompts)>;
    using CancelledBlock = std::function<void()>;

    static std::shared_ptr<MFAViewController> initWithUserInput(Prompts userInput,
                                                                KOVFinancialInstitutionColor colorScheme,
                                                                const QString &bankLogo, const QString &bankID);
    ~MFAViewController() override;

    void keyboardDidShowWithNotification(const platform::Notification &notification);
    void keyboardDidHideWithNotification(const platform::Notification &notification);
    void loadView() override;
    void viewDidLoad() override;
    // The Cancel button.
    void dismissSelf();
    void viewDidAppear(bool animated) override;
    void setupUIFactory();
    void setupTableView();
    void setupTableViewConstraints();
    bool textFieldShouldReturn(platform::TextField *field);

    int numberOfRows(platform::TableView &table, int section) override;
    platform::TableViewCell *cellForRow(platform::TableView &table, const platform::IndexPath &indexPath) override;
    qreal heightForRow(platform::TableView &table, const platform::IndexPath &indexPath) override;
    void mfaUIFactoryValueChanged(MFAUIFactory &factory, const QString &text,
                                  const std::shared_ptr<MFAParameter> &parameter) override;
    void buttonTableFooterViewDidTapButton(ButtonTableFooterView &footer) override;

    void submit();
    void cancel();
    // Whether Confirm or Cancel has already reported.
    bool hasFinished() const { return m_finished; }

    // Every prompt has an answer, blank ones included.
    static bool allAnswered(const Prompts &prompts);
    // The onboarding is due for this bank: its ID exactly, once per installation.
    static bool onboardingDue(const QString &bankID);
    static inline const QString OnboardingCompletedKey = QStringLiteral("MFAOnboardingCompleted");

    const Prompts &mfaParams() const { return m_mfaParams; }
    const KOVFinancialInstitutionColor &colorScheme() const { return m_colorScheme; }
    const QString &bankLogoURL() const { return m_bankLogoURL; }
    const QString &bankID() const { return m_bankID; }
    MFAUIFactory *mfaUIFactory() const { return m_mfaUIFactory; }
    platform::TableView *tableView() const { return m_tableView; }
    QList<QWidget *> inputViews() const;
    QList<platform::TextField *> textFields() const;
    ButtonTableFooterView *tableFooterView() const { return m_tableFooterView; }
    QMargins tableContentInsets() const { return m_contentInsets; }
    platform::ImageView *logoView() const { return m_logoView; }
    platform::Label *headerLabel() const { return m_headerLabel; }
    const SubmittedBlock &mfaValuesSubmitted() const { return m_mfaValuesSubmitted; }
    void setMfaValuesSubmitted(SubmittedBlock block) { m_mfaValuesSubmitted = std::move(block); }
    const CancelledBlock &mfaCancelled() const { return m_mfaCancelled; }
    void setMfaCancelled(CancelledBlock block) { m_mfaCancelled = std::move(block); }

protected:
    // Rows follow the list's width: wrapped texts need new heights when it changes.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void endEditing();
    void layoutAfterInsetChange();

    Prompts m_mfaParams;
    KOVFinancialInstitutionColor m_colorScheme;
    QString m_bankLogoURL;
    QString m_bankID;
    QPointer<MFAUIFactory> m_mfaUIFactory;
    platform::TableView *m_tableView = nullptr;
    QList<QPointer<QWidget>> m_inputViews;
    QList<QPointer<platform::TextField>> m_textFields;
    ButtonTableFooterView *m_tableFooterView = nullptr;
    platform::ImageView *m_logoView = nullptr;
    platform::Label *m_headerLabel = nullptr;
    // Rows not in a list row right now live here, hidden.
    QWidget *m_rowHome = nullptr;
    QMargins m_contentInsets{0, 24, 0, 8};
    int m_laidOutWidth = -1;
    QPointer<QWidget> m_tableViewport;
    SubmittedBlock m_mfaValuesSubmitted;
    CancelledBlock m_mfaCancelled;
    bool m_finished = false;
    platform::NotificationObservation m_keyboardShown;
    platform::NotificationObservation m_keyboardHidden;
};

} // namespace kova
