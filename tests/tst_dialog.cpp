#include "syncfixture.h"

#include <QtTest>

Q_DECLARE_METATYPE(TShownBox)

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    void settingsSavedOnLeaving_data()
    {
        QTest::addColumn<bool>("byEscape"); // else by the close box, as the Close button does
        QTest::newRow("Escape") << true;
        QTest::newRow("close box") << false;
    }

    // The fields win over settings edited by hand meanwhile; an empty touch program and format
    // are written as their defaults.
    void settingsSavedOnLeaving()
    {
        QFETCH(bool, byEscape);
        TSyncFixture f;
        f.dialog->show();
        f.Field("d_source")->setText("/no/such/folder");
        const QString ini = f.home.Settings_Folder() + "/Settings.ini";
        QSettings(ini, QSettings::IniFormat).setValue("Destination", "/by/hand");
        if (byEscape)
            QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
        else
            QVERIFY(f.dialog->windowHandle()->close());
        const QByteArray destination = f.destination.path().toUtf8();
        // Qt writes the keys sorted; on Windows, where keys ignore case, as first written.
        const QByteArray touch =
            "Program_Touch=touch.exe\nProgram_Touch_DateTime=MMddhhmmyyyy.ss\n";
#ifdef Q_OS_WIN
        const QByteArray keys = "Source=/no/such/folder\nDestination=" + destination + '\n' + touch;
#else
        const QByteArray keys =
            "Destination=" + destination + '\n' + touch + "Source=/no/such/folder\n";
#endif
        QCOMPARE(Read_File(ini), Native_Lines("[General]\n" + keys));
    }

    // Its columns line up at the tab stops only in a fixed-pitch face, also where "courier new"
    // is missing.
    void paneIsFixedPitch()
    {
        TSyncFixture f;
        const QFontMetrics metrics(f.Pane()->font());
        QCOMPARE(metrics.horizontalAdvance(QString(20, 'i')),
                 metrics.horizontalAdvance(QString(20, 'M')));
    }

    // The list's name taken by a folder; the system's reason is given.
    void unwritableReferenceListIsBoxed()
    {
#ifdef Q_OS_WIN
        const QString reason = "Access denied.";
#else
        const QString reason = "Is a directory";
#endif
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("a.doc")));
        const QString list = f.home.Settings_Folder() + "/reference_list.xml";
        QVERIFY(QDir().mkpath(list));
        f.Button("d_source_report")->click();
        QCOMPARE(
            f.watcher.Take(),
            QList<TShownBox>({{"Write Error", "Cannot write source file list.",
                               "ERR:  Cannot write file '" + list + "'.  Reason: " + reason}}));
    }

    void failureIsBoxedAndTrailed_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("inSource"); // the field's text below the source folder
        QTest::addColumn<QString>("source");
        QTest::addColumn<TShownBox>("box");
        QTest::addColumn<QString>("trailer");
        const TShownBox missing{"Sync Error", "The source directory does not exist."};
        const TShownBox file{"Sync Error", "The source must be a directory."};
        const QString report = "ERR:  Source Report did not complete.";
        QTest::newRow("report, empty source")
            << "d_source_report" << false << "" << missing << report;
        QTest::newRow("sync, source a file")
            << "d_sync" << true << "/plain.txt" << file << "ERR:  Update did not complete.";
    }

    // The pane emptied but for the trailer, the buttons usable again, no record written.
    void failureIsBoxedAndTrailed()
    {
        QFETCH(QString, button);
        QFETCH(bool, inSource);
        QFETCH(QString, source);
        QFETCH(TShownBox, box);
        QFETCH(QString, trailer);
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("plain.txt")));
        f.Field("d_source")->setText((inSource ? f.source.path() : QString()) + source);
        f.Pane()->setPlainText("left from before");
        f.Button(qPrintable(button))->click();
        QCOMPARE(f.watcher.Take(), QList<TShownBox>({box}));
        QCOMPARE(f.Output(), '\n' + trailer + '\n' + k_rule + '\n');
        QVERIFY(f.Usable());
        QVERIFY(!QFileInfo::exists(f.Dst(k_record)));
    }
};

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
