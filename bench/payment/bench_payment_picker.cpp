// The account picker with 20 stored logins of one user, 25 accounts each,
// against a plain QWidget list of the same 500 rows built in the same run:
//  - time to the first complete layout, and per row;
//  - scrolling the whole list step by step: the worst step's repaint.
#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "core/KOVAppManager.h"
#include "core/connections/KOVBankConnection.h"
#include "core/store/KOVBankInfo.h"
#include "core/store/KOVConnection.h"
#include "core/store/KOVSubaccount.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/ui/Anchors.h"
#include "platform/ui/Application.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"
#include "ui/payment/KOVAccountsViewController.h"

using namespace kova;

namespace {

constexpr int kLogins = 20;
constexpr int kAccounts = 25;
constexpr int kRuns = 5;

void pumpEvents()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

std::shared_ptr<KOVBankConnection> fillStore()
{
    platform::ManagedObjectContext &context = KOVAppManager::sharedInstance().viewContext();
    std::shared_ptr<KOVConnection> first;
    for (int l = 0; l < kLogins; ++l) {
        auto connection = context.insertNewObject<KOVConnection>();
        connection->setUserID("user-1");
        connection->setClientUserID("client-1");
        connection->setIsValid(true);
        auto info = context.insertNewObject<KOVBankInfo>();
        info->setBankName(QStringLiteral("Bank %1").arg(l));
        connection->setBankInfo(info);
        for (int a = 0; a < kAccounts; ++a) {
            auto account = context.insertNewObject<KOVSubaccount>();
            account->setAccountId(QStringLiteral("ACC-%1-%2").arg(l).arg(a));
            account->setName("Current");
            account->setType("current");
            account->setNumber(QStringLiteral("10012000300%1").arg(a, 4, 10, QLatin1Char('0')));
            account->setCurrencyCode("AED");
            account->setBalance(1000.5 * (a + 1));
            account->setSortingCreatedAt(1.7e9 + l);
            connection->addSubaccountsObject(account);
        }
        if (!first)
            first = connection;
    }
    KOVAppManager::sharedInstance().saveContext();
    return KOVBankConnection::initWithConnection(first);
}

QWidget *plainList()
{
    auto *area = new QScrollArea;
    auto *canvas = new QWidget;
    auto *column = new QVBoxLayout(canvas);
    for (int l = 0; l < kLogins; ++l) {
        column->addWidget(new QLabel(QStringLiteral("Bank %1").arg(l)));
        for (int a = 0; a < kAccounts; ++a) {
            auto *row = new QWidget;
            row->setFixedHeight(94);
            auto *line = new QHBoxLayout(row);
            line->addWidget(new QLabel("Current\nUpdated just now"));
            line->addStretch();
            line->addWidget(new QLabel(QStringLiteral("AED %1\n**%2").arg(1000.5 * (a + 1)).arg(a, 4, 10, QLatin1Char('0'))));
            column->addWidget(row);
        }
    }
    area->setWidget(canvas);
    area->setWidgetResizable(true);
    return area;
}

double worstScrollStep(QAbstractScrollArea *area)
{
    QScrollBar *bar = area->verticalScrollBar();
    double worst = 0;
    for (int value = 0; value <= bar->maximum(); value += 94) {
        QElapsedTimer step;
        step.start();
        bar->setValue(value);
        area->viewport()->repaint();
        worst = std::max(worst, step.nsecsElapsed() / 1e6);
    }
    return worst;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::Application::shared().setAnimationsEnabled(false);
    const auto bank = fillStore();

    std::vector<double> picker, plain, pickerScroll, plainScroll;
    for (int run = 0; run < kRuns; ++run) {
        {
            platform::Window window;
            window.show();
            QElapsedTimer timer;
            timer.start();
            auto screen = std::make_shared<KOVAccountsViewController>(bank);
            window.setRootViewController(screen);
            pumpEvents();
            platform::layoutNow(screen->view());
            platform::layoutNow(screen->tableView()->widget());
            screen->view()->grab();
            picker.push_back(timer.nsecsElapsed() / 1e6);
            pickerScroll.push_back(worstScrollStep(screen->tableView()));
        }
        {
            QWidget window;
            window.resize(390, 844);
            QElapsedTimer timer;
            timer.start();
            QWidget *list = plainList();
            auto *layout = new QVBoxLayout(&window);
            layout->addWidget(list);
            window.show();
            pumpEvents();
            window.grab();
            plain.push_back(timer.nsecsElapsed() / 1e6);
            plainScroll.push_back(worstScrollStep(static_cast<QAbstractScrollArea *>(list)));
        }
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double rows = kLogins * kAccounts;
    std::printf("picker, %d logins x %d accounts: first layout %.1f ms (%.3f ms/row), plain list %.1f ms (%.3f ms/row): ratio %.2f\n",
                kLogins, kAccounts, median(picker), median(picker) / rows, median(plain), median(plain) / rows,
                median(picker) / median(plain));
    std::printf("scrolling row by row: worst step %.2f ms (plain list %.2f ms); one frame is 16.7 ms\n",
                *std::max_element(pickerScroll.begin(), pickerScroll.end()),
                *std::max_element(plainScroll.begin(), plainScroll.end()));
    return 0;
}
