#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/KOVConstants.h"
#include "core/internal/KOVProcessState.h"
#include "platform/foundation/Bundle.h"
#include "tests/core/SdkTestFixture.h"

using namespace kova;
using namespace kova::test;

namespace {

// Points the SDK's resources at a folder for the life of a case.
class ResourcesAt {
public:
    explicit ResourcesAt(const QString &path) : m_previous(qgetenv("KOVA_RESOURCES_DIR"))
    {
        qputenv("KOVA_RESOURCES_DIR", path.toUtf8());
    }
    ~ResourcesAt()
    {
        if (m_previous.isEmpty())
            qunsetenv("KOVA_RESOURCES_DIR");
        else
            qputenv("KOVA_RESOURCES_DIR", m_previous);
    }

private:
    QByteArray m_previous;
};

bool copyResource(const QString &from, const QString &to, const QString &relative)
{
    QDir().mkpath(QFileInfo(to + "/" + relative).path());
    return QFile::copy(from + "/" + relative, to + "/" + relative);
}

const QString kModelMissing = QStringLiteral("the data model \"KovaConnect.momd\" is missing");
const QString kTableMissing =
    QStringLiteral("the string table \"KovaConnect\" (KovaConnect.bundle/<language>.lproj/KovaConnect.json) is missing");

} // namespace

class ResourcesStartTest : public SdkTest {};

TEST_F(ResourcesStartTest, AStartWithoutItsDataModelOrStringTableFailsAndNamesWhatIsMissing)
{
    const QString shipped = platform::Bundle::framework()->resourcePath();
    struct Case {
        const char *name;
        QStringList copied;    // resources put into the folder
        QByteArray brokenModel; // written as the model when not empty
        QString problems;       // empty: the start succeeds
    };
    const QList<Case> cases{
        {"an empty folder", {}, {}, kModelMissing + "; " + kTableMissing},
        {"only the data model", {"KovaConnect.momd"}, {}, kTableMissing},
        {"only the string tables", {"KovaConnect.bundle/en.lproj/KovaConnect.json"}, {}, kModelMissing},
        {"everything", {"KovaConnect.momd", "KovaConnect.bundle/en.lproj/KovaConnect.json"}, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        internal::KOVProcessState::resetAppState();
        resetDataDirectory();
        server->clearRequests();
        logs.reset();
        logs = std::make_unique<LogCapture>();
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        for (const QString &relative : c.copied)
            ASSERT_TRUE(copyResource(shipped, folder.path(), relative)) << relative.toStdString();
        ResourcesAt resources(folder.path());

        auto outcome = start("app-key-1", "client-1");
        ASSERT_EQ(outcome->calls, 1);
        EXPECT_TRUE(outcome->onMainThread);
        if (c.problems.isEmpty()) {
            EXPECT_FALSE(outcome->error.has_value());
            EXPECT_TRUE(Kova::sharedInstance());
            continue;
        }
        ASSERT_TRUE(outcome->error.has_value());
        EXPECT_EQ(outcome->error->domain, KOVErrorDomain);
        EXPECT_EQ(outcome->error->code, 1007);
        const QString description =
            "Kova cannot start: " + c.problems + " in " + folder.path() + " (the folder KOVA_RESOURCES_DIR names).";
        EXPECT_EQ(outcome->error->localizedDescription(), description);
        EXPECT_TRUE(logs->contains(description)) << logs->lines().join("\n").toStdString();
        EXPECT_FALSE(outcome->kova);
        EXPECT_FALSE(Kova::sharedInstance()) << "no instance is left to present the connect page";
        EXPECT_TRUE(server->requestsForPath(sandbox::SandboxServer::ConfigsPath).isEmpty());
    }
}

TEST_F(ResourcesStartTest, ADataModelThatDoesNotReadFailsTheStartUntilTheResourcesAreBack)
{
    const QString shipped = platform::Bundle::framework()->resourcePath();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(copyResource(shipped, folder.path(), "KovaConnect.bundle/en.lproj/KovaConnect.json"));
    QFile model(folder.path() + "/KovaConnect.momd");
    ASSERT_TRUE(model.open(QIODevice::WriteOnly));
    model.write("{\"entities\": 5");
    model.close();
    {
        ResourcesAt resources(folder.path());
        auto outcome = start("app-key-1", "client-1");
        ASSERT_TRUE(outcome->error.has_value());
        EXPECT_EQ(outcome->error->code, 1007);
        const QString description = outcome->error->localizedDescription();
        EXPECT_TRUE(description.startsWith("Kova cannot start: the data model \"KovaConnect.momd\" cannot be read ("))
            << description.toStdString();
        EXPECT_FALSE(description.contains("string table")) << description.toStdString();
        EXPECT_FALSE(Kova::sharedInstance());
    }
    // The failed start kept nothing: the next one, with the resources found,
    // starts afresh.
    auto outcome = start("app-key-1", "client-1");
    EXPECT_FALSE(outcome->error.has_value());
    ASSERT_TRUE(outcome->kova);
    EXPECT_EQ(outcome->kova->appKey(), "app-key-1");
    EXPECT_FALSE(logs->contains("[KOVA] Warning: Kova.start(appKey:clientUserID:completion:) must be called only once"));
}
