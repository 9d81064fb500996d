#include "syncfixture.h"

#include <QtTest>

static const QString k_rule = QString(44, '-') + '\n';

class TestSync : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }

    // Syncs into one destination. The record is the pane in Latin-1, a '?'
    // for each other character, and replaces the old record whole.
    void syncs()
    {
        TSyncFixture f;
        const QString qp = "Procedures/Quality/QP-01.doc", cafe = "caf\u00e9 \u03a9 \U0001F4C4.doc";
        QVERIFY(Make_File(f.Src(qp), "qp", k_doc_time + 1) &&
                Make_File(f.Src(cafe), "x", k_doc_time) &&
                Make_File(f.Dst("mine.txt"), "m", 1000) &&
                Make_File(f.Dst(k_record), QByteArray(10000, 'o')) &&
                QFile::setPermissions(f.Src(qp), QFile::ReadOwner | QFile::ReadGroup));
        f.Field("d_source")->setText(f.source.path() + "/");
        f.Field("d_destination")->setText(f.destination.path() + "/");
        f.Sync();
        // Copied in the order of the listing, each with its time; a read-only one stays so.
        const QString listing = QRegularExpression::escape(
            "03 Mar 2026 02:05:09 PM\t/caf\u00e9 ? ?.doc\n03 Mar 2026 02:05:10 PM\t/" + qp + '\n');
        QVERIFY(QString::fromLatin1(Read_File(f.Dst(k_record)))
                    .contains(QRegularExpression("^Controlled Files\n" + k_rule + listing +
                                                 "\nUpdated Files on \\d\\d [A-Z][a-z]{2} \\d{4} "
                                                 "(\\d\\d:){2}\\d\\d [AP]M\n" +
                                                 k_rule + listing + "\\z")));
        QVERIFY(File_Time(f.Dst(qp)) == k_doc_time + 1 && File_Time(f.Dst("mine.txt")) == 1000);
        QCOMPARE(QFile::permissions(f.Dst(qp)), QFile::permissions(f.Src(qp)));

        // Destination copies older (negative) or newer than the source by so many seconds,
        // none of which the touch program reaches; a file where a folder goes; a source file
        // by the record's name. Each listed as not updated, in one box and in the record.
        for (int offset : {0, -1, -2, -3598, -3599, -3600, -3601, -3602, 1, 3600})
            QVERIFY(Make_File(f.Src(QString("%1.doc").arg(offset)), "new", k_doc_time) &&
                    Make_File(f.Dst(QString("%1.doc").arg(offset)), "old", k_doc_time + offset));
        QVERIFY(Make_File(f.Src("sub/B.doc"), "b", k_doc_time) &&
                Make_File(f.Dst("sub"), "a file") && Make_File(f.Src(k_record), "x", 1000));
        f.Open("no-such-touch.exe");
        f.Sync();
        const QStringList updated = {"/-2.doc", "/-3598.doc", "/-3602.doc", "/1.doc", "/3600.doc"};
        const QString failures =
            QStringList(updated).join(
                ": the touch program 'no-such-touch.exe' could not be started\n") +
            ": the touch program 'no-such-touch.exe' could not be started\n/" + k_record +
            ": the information file has that name\n/sub/B.doc: the destination folder could not be "
            "created";
        QCOMPARE(f.Updated(), QString(failures).replace(": ", "\tNOT UPDATED: ").split('\n'));
        QCOMPARE(f.Boxes(), "Sync Error|Some files could not be updated.|" + failures);
        QVERIFY(f.Output().endsWith("\n\nERR:  Update did not complete.\n" + k_rule));
        // The new copy stays, though its time could not be set; what blocked the folder too.
        QCOMPARE(Read_File(f.Dst("-2.doc")) + '|' + Read_File(f.Dst("sub")),
                 QByteArray("new|a file"));
        QCOMPARE(Read_File(f.Dst(k_record)), f.Output().replace("\U0001F4C4", "?").toLatin1());

        // The causes gone, the next sync copies them (with another touch program and its format).
        QVERIFY(QFile::remove(f.Dst("sub")) && QFile::remove(f.Src(k_record)));
        f.Open("touch", "yyyyMMddhhmm.ss");
        f.Sync();
        QCOMPARE(f.Updated(), QStringList(updated) << "/sub/B.doc");
        QVERIFY(File_Time(f.Dst("-2.doc")) == k_doc_time &&
                File_Time(f.Dst("sub/B.doc")) == k_doc_time);

        // A record that cannot be saved is a failure of its own, said once.
        QVERIFY(QFile::remove(f.Dst(k_record)) && QDir().mkdir(f.Dst(k_record)));
        f.Sync();
        QCOMPARE(f.Boxes(), "Sync Error|The information file could not be written.|/" + k_record +
                                ": a folder has that name");
        QVERIFY(
            f.Output().endsWith("\n\nERR:  The information file could not be written.\n" + k_rule));

        // Refused before anything is copied: the source, inside it (through .. or a link),
        // missing, a file.
        QVERIFY(QDir().mkdir(f.Src("copy")) && QFile::link(f.Src("copy"), f.Dst("link")));
        for (const QString& to :
             {f.Src(""), f.Src("copy/../copy/./"), f.Dst("link"), f.Dst("no"), f.Dst("mine.txt")}) {
            f.Field("d_destination")->setText(to);
            QVERIFY(!f.dialog->Run_Sync());
        }
        const QString inside =
            "Sync Error|The destination must not be the source directory or lie inside it.|\n";
        QCOMPARE(f.Boxes(), inside + inside + inside +
                                "Sync Error|The destination directory does not exist.|\nSync "
                                "Error|The destination must be a directory|");
    }
};

QTEST_MAIN(TestSync)
#include "tst_sync.moc"
