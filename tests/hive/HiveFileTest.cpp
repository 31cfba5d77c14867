#include "hive/CurrentUser.h"
#include "hive/Hive.h"
#include "hive/HiveError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "LockHolder.h"
#include "ScopedEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace caltrix::hive;

namespace {

const char* const Header = "WINE REGISTRY Version 2\n\n";

class HiveFile : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("user.reg")); }

    void writeFile(const QByteArray& bytes, bool settled = true)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        if (settled)
            setOld();
    }

    // A modification time long past, as for a hive nobody touched since the program started.
    void setOld(int secondsEarlier = 0)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(longAgo.addSecs(-secondsEarlier), QFileDevice::FileModificationTime));
    }

    QByteArray readFile() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString text(Hive& hive, const char* key, const char* name)
    {
        const auto value = hive.value(QLatin1String(key), QLatin1String(name));
        return value ? value->text() : QStringLiteral("<none>");
    }

    QTemporaryDir dir;
    const QDateTime longAgo = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 3600);
};

} // namespace

TEST_F(HiveFile, AMissingFileIsAnEmptyHiveAndTheFirstWriteCreatesIt)
{
    Hive hive(dir.filePath(QStringLiteral("prefix/user.reg")));
    EXPECT_FALSE(hive.document()->keyExists(QStringLiteral("Software")));
    hive.writeString(QStringLiteral("Software\\A"), QStringLiteral("V"), QStringLiteral("1"));
    EXPECT_EQ(text(hive, "software\\a", "v"), QStringLiteral("1"));
    QFile file(hive.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("WINE REGISTRY Version 2\n"));
    EXPECT_TRUE(bytes.contains("\n[Software\\\\A] ")) << bytes.constData();
    EXPECT_TRUE(bytes.endsWith("\"V\"=\"1\"\n"));
    EXPECT_EQ(QFile(hive.filePath()).permissions() & 0x7777,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser
            | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

TEST_F(HiveFile, SeesEveryKindOfChangeAtTheNextRead)
{
    writeFile(QByteArray(Header) + "[K] 1\n\"V\"=\"1\"\n");
    Hive hive(path());
    EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("1"));

    // Rewritten in place just now.
    writeFile(QByteArray(Header) + "[K] 1\n\"V\"=\"22\"\n", false);
    EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("22"));
    // Same size, rewritten just now: the recent time makes the earlier read untrustworthy.
    writeFile(QByteArray(Header) + "[K] 1\n\"V\"=\"33\"\n", false);
    EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("33"));
    // Replaced by another file (as Wine and our writer do), with an old time.
    QFile::remove(path());
    writeFile(QByteArray(Header) + "[K] 1\n\"V\"=\"44\"\n");
    EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("44"));
    QFile::remove(path());
    EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("<none>"));
}

// The content of an unchanged, settled file is not read again: an in-place change that keeps the
// size and the old time is the one change it cannot see (no program writes a hive that way).
TEST_F(HiveFile, KeepsTheContentOfAnUnchangedFile)
{
    writeFile(QByteArray(Header) + "[K] 1\n\"V\"=\"1\"\n");
    Hive hive(path());
    const auto first = hive.document();
    EXPECT_EQ(hive.document(), first);
    writeFile(QByteArray(Header) + "[K] 1\n\"V\"=\"2\"\n");
    EXPECT_EQ(hive.document(), first);
    setOld(60);
    EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("2"));

    // Written again just now with the same bytes: looked at again, but not parsed again.
    const auto second = hive.document();
    writeFile(QByteArray(Header) + "[K] 1\n\"V\"=\"2\"\n", false);
    EXPECT_EQ(hive.document(), second);
}

TEST_F(HiveFile, WritingKeepsTheRestOfTheFileAndItsPermissions)
{
    QFile fixture(QStringLiteral(CALTRIX_HIVE_TEST_DATA "/wine-user.reg"));
    ASSERT_TRUE(fixture.open(QIODevice::ReadOnly));
    const QByteArray original = fixture.readAll();
    writeFile(original);
    QFile(path()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    Hive hive(path());
    hive.writeString(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor5"), QStringLiteral("Speed2"),
        QStringLiteral("31"));
    const QByteArray written = readFile();
    EXPECT_EQ(written.size(), original.size()); // only the Tavor5 key line, its time and Speed2 differ
    EXPECT_TRUE(written.contains("\"Speed2\"=\"31\"\n"));
    EXPECT_EQ(written.left(written.indexOf("[Software\\\\Korvane\\\\Pelto\\\\Calibration\\\\Tavor5]")),
        original.left(original.indexOf("[Software\\\\Korvane\\\\Pelto\\\\Calibration\\\\Tavor5]")));
    EXPECT_EQ(written.mid(written.indexOf("[Software\\\\Korvane\\\\Pelto\\\\TavorDevicePeltoAnt]")),
        original.mid(original.indexOf("[Software\\\\Korvane\\\\Pelto\\\\TavorDevicePeltoAnt]")));
    const auto permissions = QFile(path()).permissions();
    EXPECT_TRUE(permissions & QFileDevice::WriteOwner);
    EXPECT_FALSE(permissions & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

TEST_F(HiveFile, AFailedEditLeavesTheFileAsItWas)
{
    const QByteArray original = QByteArray(Header) + "[K] 1\n\"V\"=\"1\"\n";
    writeFile(original);
    Hive hive(path());
    EXPECT_THROW(hive.edit([](HiveDocument& doc) {
        doc.setValue(QStringLiteral("K"), HiveValue::string(QStringLiteral("V"), QStringLiteral("2")));
        throw HiveError(QStringLiteral("stop"));
    }),
        HiveError);
    EXPECT_EQ(readFile(), original);
}

// The lock dies with its holder: neither a lock file left behind nor a killed writer blocks a
// write, and a write that finds the lock held names the process that holds it.
TEST_F(HiveFile, ALockNeverOutlivesItsHolder)
{
    const QByteArray original = QByteArray(Header) + "[K] 1\n\"V\"=\"1\"\n";
    writeFile(original);
    // What an older version left after a crash: a lock file with a process id, and its companion.
    for (const char* leftover : { ".lock", ".lock.rmlock" }) {
        QFile file(path() + QLatin1String(leftover));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("4242\ncaltrix-settings\nhost\n");
    }
    Hive hive(path());
    hive.setLockTimeout(std::chrono::milliseconds(0));
    hive.writeString(QStringLiteral("K"), QStringLiteral("V"), QStringLiteral("2"));
    EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("2"));

    LockHolder other(path() + QStringLiteral(".lock"));
    long noticed = 0;
    hive.setLockTimeout(std::chrono::milliseconds(1));
    hive.setLockWaitNotice([&noticed](long holder) { noticed = holder; });
    try {
        hive.writeString(QStringLiteral("K"), QStringLiteral("V"), QStringLiteral("3"));
        FAIL() << "wrote despite the lock";
    } catch (const HiveError& e) {
        EXPECT_EQ(e.message(),
            QStringLiteral("The settings file %1 is being changed by another program (process %2). "
                           "Try again when it has finished.")
                .arg(path())
                .arg(other.pid()));
    }
    EXPECT_EQ(noticed, other.pid());
    EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("2"));

    other.kill(); // as kill -9 in the middle of a write
    hive.setLockTimeout(std::chrono::milliseconds(0));
    hive.writeString(QStringLiteral("K"), QStringLiteral("V"), QStringLiteral("3"));
    EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("3"));
}

namespace {

// The folder a running Wine server works in, named after the prefix folder's device and inode.
QString serverFolderOf(const QString& prefix)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(prefix).constData(), &st), 0);
    return QStringLiteral("server-%1-%2")
        .arg(static_cast<qulonglong>(st.st_dev), 0, 16)
        .arg(static_cast<qulonglong>(st.st_ino), 0, 16);
}

// The layout Debian's Wine 8 leaves, as seen from a real server: in the temporary folder `tmp` a
// folder `name` (mode 0700) holding the server folder (0700) with "lock" and "socket" (0600); in
// the prefix a file "wineserver" (0400) whose whole content is the bare `name`. Returns the path of
// the lock file, which the stand-in server then holds.
QString makeDebianWineLayout(const QString& tmp, const QString& name, const QString& prefix)
{
    const QString server = QStringLiteral("%1/%2/%3").arg(tmp, name, serverFolderOf(prefix));
    EXPECT_TRUE(QDir().mkpath(server));
    for (const QString& folder : { QFileInfo(server).path(), server })
        EXPECT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
    for (const char* file : { "lock", "socket" }) {
        QFile created(QDir(server).filePath(QLatin1String(file)));
        EXPECT_TRUE(created.open(QIODevice::WriteOnly));
        created.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    const QString record = QDir(prefix).filePath(QStringLiteral("wineserver"));
    QFile::remove(record);
    QFile file(record);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QFile::encodeName(name));
    file.setPermissions(QFileDevice::ReadOwner);
    return QDir(server).filePath(QStringLiteral("lock"));
}

// Runs in another working folder for the scope: the recorded name must not be read against it.
class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const QString& folder)
        : earlier_(QDir::currentPath())
    {
        EXPECT_TRUE(QDir::setCurrent(folder));
    }
    ~ScopedWorkingFolder() { QDir::setCurrent(earlier_); }
    ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
    ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;

private:
    QString earlier_;
};

} // namespace

// A stand-in for a Wine server holds the server's lock where Wine keeps it: upstream Wine under
// <tmp>/.wine-<uid>, Debian's Wine under the folder its prefix's "wineserver" file names. While it
// runs, writing is refused and reading goes on; once it ended, its folders stay behind unlocked
// and writing works again.
TEST_F(HiveFile, RefusesToWriteWhileWineRunsInThePrefix)
{
    const QByteArray original = QByteArray(Header) + "[K] 1\n\"V\"=\"1\"\n";
    QTemporaryDir ourTmp;
    QTemporaryDir otherTmp; // the temporary folder of a Wine started with another TMPDIR than ours
    const struct {
        const char* where;
        std::function<QString()> layout; // makes the layout, returns the lock file's path
    } places[] = {
        { "upstream",
            [&] { return QStringLiteral("%1/.wine-%2/%3/lock").arg(ourTmp.path()).arg(::getuid()).arg(serverFolderOf(dir.path())); } },
        { "Debian, bare name in our temporary folder",
            [&] { return makeDebianWineLayout(ourTmp.path(), QStringLiteral("wine-Gn9wWE"), dir.path()); } },
        { "Debian, bare name in the other temporary folder",
            [&] { return makeDebianWineLayout(otherTmp.path(), QStringLiteral("wine-Ab12Cd"), dir.path()); } },
        { "absolute path recorded",
            [&] {
                const QString lock = makeDebianWineLayout(ourTmp.path(), QStringLiteral("wine-Zz99Yy"), dir.path());
                QFile::remove(dir.filePath(QStringLiteral("wineserver")));
                QFile file(dir.filePath(QStringLiteral("wineserver")));
                EXPECT_TRUE(file.open(QIODevice::WriteOnly));
                file.write(QFile::encodeName(ourTmp.filePath(QStringLiteral("wine-Zz99Yy"))) + "\n");
                return lock;
            } },
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.where);
        writeFile(original);
        QFile::remove(dir.filePath(QStringLiteral("wineserver")));
        const QString lock = place.layout();
        Hive hive(path());
        hive.setWineServer(WineServer({ ourTmp.path(), otherTmp.path() }));
        {
            LockHolder server(lock);
            EXPECT_EQ(hive.runningWineServer(), server.pid());
            try {
                hive.writeString(QStringLiteral("K"), QStringLiteral("V"), QStringLiteral("2"));
                FAIL() << "wrote while Wine runs";
            } catch (const HiveError& e) {
                EXPECT_EQ(e.message(),
                    QStringLiteral("Wine is running in %1; close its programs or run `wineserver -k`, then try again")
                        .arg(dir.path()));
            }
            EXPECT_EQ(readFile(), original);
            EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("1")); // reading stays allowed
        }
        EXPECT_TRUE(QFile::exists(lock));
        EXPECT_EQ(hive.runningWineServer(), 0);
        hive.writeString(QStringLiteral("K"), QStringLiteral("V"), QStringLiteral("2"));
        EXPECT_EQ(text(hive, "K", "V"), QStringLiteral("2"));
    }
}

// Debian's bare folder name lies in the system's temporary folder: $TMPDIR, else /tmp, and in both
// when TMPDIR is set, since the Wine that wrote it may have had another. It never depends on the
// working folder.
TEST_F(HiveFile, FindsDebiansWineServerInTheSystemsTemporaryFolder)
{
    QTemporaryDir tmpdir;
    QTemporaryDir elsewhere;
    ScopedWorkingFolder working(elsewhere.path());
    const struct {
        const char* where;
        std::optional<QString> tmpdirValue;
        QString folderIn;
    } cases[] = {
        { "TMPDIR unset, server in /tmp", std::nullopt, QStringLiteral("/tmp") },
        { "TMPDIR set, server there", tmpdir.path(), tmpdir.path() },
        { "TMPDIR set, server in /tmp", tmpdir.path(), QStringLiteral("/tmp") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        ScopedEnv tmpdirVariable("TMPDIR", c.tmpdirValue);
        QTemporaryDir wineFolder(c.folderIn + QStringLiteral("/wine-XXXXXX"));
        const QString name = QFileInfo(wineFolder.path()).fileName();
        LockHolder server(makeDebianWineLayout(c.folderIn, name, dir.path()));
        EXPECT_EQ(WineServer().runningFor(dir.path()), server.pid());
    }
}

// A recorded name that is neither bare nor absolute would lead out of the temporary folder: it is
// not followed, and the other places are still searched.
TEST_F(HiveFile, FollowsNoRecordedNameOutOfTheTemporaryFolder)
{
    QTemporaryDir tmp;
    const WineServer wine({ QDir(tmp.path()).filePath(QStringLiteral("inner")) });
    for (const char* recorded : { "../wine-Ab12Cd", "inner/../../wine-Ab12Cd", "..", "." }) {
        SCOPED_TRACE(recorded);
        QDir().mkpath(tmp.filePath(QStringLiteral("inner")));
        LockHolder outside(QStringLiteral("%1/wine-Ab12Cd/%2/lock").arg(tmp.path(), serverFolderOf(dir.path())));
        QFile::remove(dir.filePath(QStringLiteral("wineserver")));
        QFile file(dir.filePath(QStringLiteral("wineserver")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(recorded);
        file.close();
        EXPECT_EQ(wine.runningFor(dir.path()), 0);

        LockHolder upstream(QStringLiteral("%1/inner/.wine-%2/%3/lock").arg(tmp.path()).arg(::getuid()).arg(serverFolderOf(dir.path())));
        EXPECT_EQ(wine.runningFor(dir.path()), upstream.pid());
    }
}

// A write keeps the file's owner, group and mode, also when root writes a user's file (CI runs
// as root; elsewhere the owner part is skipped).
TEST_F(HiveFile, KeepsOwnerGroupAndModeOnEveryWrite)
{
    writeFile(QByteArray(Header) + "[K] 1\n\"V\"=\"1\"\n");
    const bool root = ::geteuid() == 0;
    const uid_t user = 4711;
    const gid_t group = 4712;
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(dir.path()).constData(), user, group), 0);
        ASSERT_EQ(::chown(QFile::encodeName(path()).constData(), user, group), 0);
    }
    for (const mode_t mode : { 0444, 0640 }) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), mode), 0);
        Hive hive(path());
        hive.writeString(QStringLiteral("K"), QStringLiteral("Mode"), QString::number(mode, 8));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        if (root) {
            EXPECT_EQ(st.st_uid, user);
            EXPECT_EQ(st.st_gid, group);
            ASSERT_EQ(::stat(QFile::encodeName(path() + QStringLiteral(".lock")).constData(), &st), 0);
            EXPECT_EQ(st.st_uid, user); // the user's own programs can take the lock later
        }
    }
}

TEST_F(HiveFile, NeverOverwritesAFileThatIsNoWineHive)
{
    const QByteArray notAHive = "REGEDIT4\n\n[HKEY_CURRENT_USER\\K]\n\"V\"=\"1\"\n";
    writeFile(notAHive);
    Hive hive(path());
    EXPECT_THROW(hive.document(), HiveError);
    EXPECT_THROW(hive.writeString(QStringLiteral("K"), QStringLiteral("V"), QStringLiteral("2")), HiveError);
    EXPECT_EQ(readFile(), notAHive);

    Hive folder(dir.path());
    EXPECT_THROW(folder.document(), HiveError);
}

TEST_F(HiveFile, CurrentUserIsTheNamedOrWinePrefixHiveUnlessReplaced)
{
    qunsetenv("CALTRIX_REGISTRY");
    qputenv("WINEPREFIX", dir.path().toUtf8());
    EXPECT_EQ(defaultUserHivePath(), path());
    qputenv("CALTRIX_REGISTRY", "/somewhere/else.reg");
    EXPECT_EQ(defaultUserHivePath(), QStringLiteral("/somewhere/else.reg"));
    qunsetenv("CALTRIX_REGISTRY");
    Hive other(dir.filePath(QStringLiteral("other.reg")));
    {
        ScopedCurrentUser scoped(other);
        EXPECT_EQ(&currentUser(), &other);
    }
    EXPECT_NE(&currentUser(), &other);
    qunsetenv("WINEPREFIX");
}

// A full disk is reported in plain words, and the file stays as it was. Needs a small file system
// of its own: a tmpfs, which only root may mount (skipped elsewhere).
TEST_F(HiveFile, ReportsAFullDiskInPlainWords)
{
    const QString small = dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(small));
    if (::mount("caltrix-test", QFile::encodeName(small).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount { QFile::encodeName(small) };

    const QString hivePath = small + QStringLiteral("/user.reg");
    QByteArray original = QByteArray(Header) + "[K] 1\n";
    for (int i = 0; i < 400; ++i)
        original += "\"V" + QByteArray::number(i) + "\"=\"some value\"\n";
    QFile file(hivePath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(original);
    file.close();
    QFile filler(small + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) { }
    filler.close();

    Hive hive(hivePath);
    try {
        hive.writeString(QStringLiteral("K"), QStringLiteral("New"), QStringLiteral("1"));
        FAIL() << "wrote to a full disk";
    } catch (const HiveError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("No space left on device"))) << e.what();
    }
    QFile check(hivePath);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), original);
    EXPECT_EQ(QDir(small).entryList(QDir::Files | QDir::Hidden).size(), 3); // no temporary file left
}
