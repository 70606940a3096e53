#include "store/libraryinit.h"

#include "resources/data.h"
#include "store/database.h"
#include "store/libraryfolder.h"
#include "store/sqlite/sqlitebackend.h"
#include "transfer/safefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <QUrl>
#include <QUuid>

#include <cerrno>
#include <utility>

namespace quillbox::store {

namespace {

// Moves a finished temporary file to its place unless something is there already.
StoreError moveIntoPlace(QTemporaryFile &temp, const QString &target)
{
    temp.setAutoRemove(false);
    temp.close();
    const int reason = transfer::renameWithoutReplacing(QFile::encodeName(temp.fileName()), QFile::encodeName(target));
    if (reason == 0)
        return {};
    QFile::remove(temp.fileName());
    return {reason == EEXIST ? Failure::Other : Failure::ReadOnly,
            QStringLiteral("%1 could not be put in place: %2.")
                .arg(QDir::toNativeSeparators(target), transfer::errnoWords(reason))};
}

StoreError sqlFailure(const QString &what, const QSqlError &e)
{
    return {Failure::Other, QStringLiteral("%1: %2").arg(what, e.text())};
}

// Builds the database in the temporary file: the table and, when asked, the samples.
StoreError buildDatabase(const QString &file, bool withSamples, int &samplesAdded)
{
    const QString name = QStringLiteral("quillbox-init-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    StoreError error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open()) {
            error = sqlFailure(QStringLiteral("The new library could not be created"), db.lastError());
        } else {
            QSqlQuery q(db);
            bool ok = db.transaction();
            for (const QString &statement : SqliteBackend::fileSchema())
                ok = ok && q.exec(statement);
            if (ok && withSamples) {
                q.prepare(QStringLiteral("INSERT INTO TABLE1 (CodeName, CodeDesc, code) VALUES (?, ?, ?)"));
                for (const auto &s : resources::sampleSnippets()) {
                    q.addBindValue(s.heading);
                    q.addBindValue(s.description);
                    q.addBindValue(s.code);
                    if (!(ok = q.exec()))
                        break;
                    ++samplesAdded;
                }
            }
            if (ok)
                ok = db.commit();
            if (!ok) {
                error = sqlFailure(QStringLiteral("The new library could not be written"),
                                   q.lastError().isValid() ? q.lastError() : db.lastError());
                db.rollback();
            }
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

SetupResult failed(SetupResult result, StoreError error)
{
    result.outcome = Outcome::Failed;
    result.error = std::move(error);
    return result;
}

} // namespace

SetupResult initLibrary(bool withSamples)
{
    SetupResult result;
    const QString folder = libraryFolder();
    if (folder.isEmpty())
        return failed(std::move(result), {Failure::MissingFile, noHomeMessage("XDG_DATA_HOME")});
    const QString nativeFolder = QDir::toNativeSeparators(folder);
    if (QFileInfo(folder).isDir()) {
        result.report << QStringLiteral("The library folder %1 already exists.").arg(nativeFolder);
    } else if (QDir().mkpath(folder)) {
        result.report << QStringLiteral("Created the library folder %1.").arg(nativeFolder);
    } else {
        return failed(
            std::move(result),
            {Failure::ReadOnly, QStringLiteral("The library folder %1 could not be created.").arg(nativeFolder)});
    }

    const QString db = databasePath();
    if (QFileInfo::exists(db)) {
        result.report << QStringLiteral("The library %1 already exists; it was left unchanged.")
                             .arg(QDir::toNativeSeparators(db));
        if (withSamples)
            result.report << QStringLiteral("Samples are only added to a new library.");
    } else {
        QTemporaryFile temp(folder + QStringLiteral("/.Quillbox.mdb.XXXXXX"));
        int samples = 0;
        if (!temp.open())
            return failed(std::move(result),
                          {Failure::ReadOnly, QStringLiteral("The library %1 could not be created: %2")
                                                  .arg(QDir::toNativeSeparators(db), temp.errorString())});
        temp.close();
        StoreError error = buildDatabase(temp.fileName(), withSamples, samples);
        if (!error)
            error = moveIntoPlace(temp, db);
        if (error)
            return failed(std::move(result), std::move(error));
        result.report
            << QStringLiteral("Created the library %1 with an empty table.").arg(QDir::toNativeSeparators(db));
        if (withSamples)
            result.report.last() = QStringLiteral("Created the library %1 with %2 sample snippets.")
                                       .arg(QDir::toNativeSeparators(db))
                                       .arg(samples);
    }

    const QString help = helpFilePath();
    if (QFileInfo::exists(help)) {
        result.report << QStringLiteral("The help file %1 already exists; it was left unchanged.")
                             .arg(QDir::toNativeSeparators(help));
    } else {
        // Written beside its place, synced, then put there unless a file came meanwhile.
        const QByteArray page = resources::helpPage().toUtf8();
        transfer::SafeFile file(help, transfer::SafeFile::Existing::Keep);
        if (!file.open() || !file.write(page.constData(), page.size()) || !file.commit())
            return failed(std::move(result),
                          {Failure::Other, QStringLiteral("The help file %1 could not be written: %2.")
                                               .arg(QDir::toNativeSeparators(help), file.reason())});
        result.report << QStringLiteral("Created the help file %1.").arg(QDir::toNativeSeparators(help));
    }
    return result;
}

SetupResult initServerLibrary(const SnippetLibrary &library)
{
    SetupResult result;
    DbConnection db(library.location(), library.options());
    // The lock of the library's writers keeps a write from meeting a table half made.
    if (!db.open() || !db.begin(true))
        return failed(std::move(result), db.lastError());
    QSqlQuery q(db.database());
    const bool existed =
        q.exec(QStringLiteral("SELECT to_regclass('TABLE1') IS NOT NULL")) && q.next() && q.value(0).toBool();
    for (const QString &statement : db.backend().schema()) {
        if (!q.exec(statement)) {
            StoreError error = db.fail(q.lastError());
            error.message =
                QStringLiteral("The snippet library %1 could not be set up: %2").arg(db.shownName(), error.message);
            return failed(std::move(result), std::move(error));
        }
    }
    if (!db.commit())
        return failed(std::move(result), db.lastError());
    result.report << (existed ? QStringLiteral("The snippet library %1 already has its table TABLE1; it was left "
                                               "unchanged, and any missing index was added.")
                              : QStringLiteral("Created the table TABLE1 and its indexes in the snippet library %1."))
                         .arg(db.shownName());
    return result;
}

} // namespace quillbox::store
