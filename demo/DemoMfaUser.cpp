#include "demo/DemoMfaUser.h"

#include "demo/DemoScreens.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "ui/mfa/MFANavigationController.h"

using namespace kova;

DemoMfaUser::DemoMfaUser(QObject *parent) : QObject(parent)
{
    m_watch.setInterval(20);
    connect(&m_watch, &QTimer::timeout, this, &DemoMfaUser::look);
}

void DemoMfaUser::arm(const QString &code, Answered answered)
{
    m_code = code;
    m_answered = std::move(answered);
    m_watch.start();
}

void DemoMfaUser::look()
{
    platform::Window *window = platform::Application::shared().keyWindow();
    const auto sheet = window ? std::dynamic_pointer_cast<MFANavigationController>(window->topPresentedViewController())
                              : nullptr;
    if (!m_steady.held(sheet && sheet->mfaViewController()->isVisible() && !sheet->isBeingPresented()
                       && !sheet->mfaViewController()->textFields().isEmpty()))
        return;
    m_watch.stop();
    const auto screen = sheet->mfaViewController();
    QString question;
    for (QWidget *row : screen->inputViews()) {
        auto *label = qobject_cast<platform::Label *>(row);
        if (label && row->objectName() == QLatin1String("query")) {
            question = label->text();
            break;
        }
    }
    typeKeyByKey(screen->textFields().first(), m_code);
    saveDemoScreen(QStringLiteral("mfa-prompt"));
    screen->tableFooterView()->button()->click();
    if (m_answered)
        m_answered(question);
}
