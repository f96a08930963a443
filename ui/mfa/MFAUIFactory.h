#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <QWidget>
#include <memory>

#include "core/api/MFAParameter.h"
#include "core/records/KOVFinancialInstitutionColor.h"

namespace kova {

class KOVLabel;
class MFATextField;
class MFAUIFactory;

class MFAUIFactoryDelegate {
public:
    virtual ~MFAUIFactoryDelegate() = default;
    virtual void mfaUIFactoryValueChanged(MFAUIFactory &factory, const QString &text,
                                          const std::shared_ptr<MFAParameter> &parameter) = 0;
};

// Builds the rows of the prompt screen: the warning banner, then each
// prompt's question (text, or a captcha image) followed by its field.
class MFAUIFactory : public QObject {
    Q_OBJECT
public:
    explicit MFAUIFactory(KOVFinancialInstitutionColor colorScheme, QObject *parent = nullptr);

    // The rows, parented to `home` until a list row takes them.
    QList<QWidget *> generateMFALoginFieldsForUserInputs(const QList<std::shared_ptr<MFAParameter>> &userInputs,
                                                         const QString &bankID, QWidget *home);
    MFATextField *mfaFieldForInput(const std::shared_ptr<MFAParameter> &input, const QString &bankID,
                                   QWidget *parent = nullptr);
    void textFieldTextChanged(MFATextField *field);
    KOVLabel *generateWarningLabel(QWidget *parent = nullptr);

    // "SmartPass Token" for that bank's fields, whatever the letter case of its ID.
    static QString placeholderFor(const MFAParameter &input, const QString &bankID);
    // The captcha's picture from its Base64 text; null when it does not decode.
    static QImage captchaImage(const QString &base64);

    std::shared_ptr<MFAUIFactoryDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<MFAUIFactoryDelegate> delegate) { m_delegate = std::move(delegate); }
    const KOVFinancialInstitutionColor &colorScheme() const { return m_colorScheme; }
    const QImage &lockIcon() const { return m_lockIcon; }
    const QList<std::shared_ptr<MFAParameter>> &userInputs() const { return m_userInputs; }

    static inline const QString SmartPassBankID = QStringLiteral("EBILAEAD");
    static inline const QString SmartPassPlaceholder = QStringLiteral("SmartPass Token");

private:
    std::weak_ptr<MFAUIFactoryDelegate> m_delegate;
    KOVFinancialInstitutionColor m_colorScheme;
    QImage m_lockIcon;
    QList<std::shared_ptr<MFAParameter>> m_userInputs;
};

} // namespace kova
