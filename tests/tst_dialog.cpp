#include "syncfixture.h"

#include <QtTest>

enum class TLeave { Escape, Close_Button, Close_Box };
Q_DECLARE_METATYPE(TLeave)

Q_DECLARE_METATYPE(TShownBox)

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    // None of the buttons is a default one.
    void enterInAFieldPressesNoButton()
    {
        TSyncFixture f;
        f.dialog->show();
        QTest::keyClick(f.Field("d_source"), Qt::Key_Return);
        QVERIFY(f.dialog->isVisible());
        QCOMPARE(f.Output(), QString());
    }

    void settingsSavedOnLeaving_data()
    {
        QTest::addColumn<TLeave>("leave");
        QTest::newRow("Escape") << TLeave::Escape;
        QTest::newRow("Close button") << TLeave::Close_Button;
        QTest::newRow("close box") << TLeave::Close_Box;
    }

    // The fields win over settings edited by hand meanwhile; an empty touch program and format
    // are written as their defaults.
    void settingsSavedOnLeaving()
    {
        QFETCH(TLeave, leave);
        TSyncFixture f;
        f.dialog->show();
        f.Field("d_source")->setText("/no/such/folder");
        const QString ini = f.home.Settings_Folder() + "/Settings.ini";
        QSettings(ini, QSettings::IniFormat).setValue("Destination", "/by/hand");
        if (leave == TLeave::Escape)
            QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
        if (leave == TLeave::Close_Button)
            f.Button("d_close")->click();
        if (leave == TLeave::Close_Box)
            QVERIFY(f.dialog->windowHandle()->close());
        const QByteArray destination = f.destination.path().toUtf8();
        // Qt writes the keys sorted; on Windows, where keys ignore case, as first written.
#ifdef Q_OS_WIN
        const QByteArray keys =
            "Source=/no/such/folder\nDestination=" + destination +
            "\nProgram_Touch=touch.exe\nProgram_Touch_DateTime=MMddhhmmyyyy.ss\n";
#else
        const QByteArray keys =
            "Destination=" + destination +
            "\nProgram_Touch=touch.exe\nProgram_Touch_DateTime=MMddhhmmyyyy.ss\n"
            "Source=/no/such/folder\n";
#endif
        QCOMPARE(Read_File(ini), Native_Lines("[General]\n" + keys));
    }

    void failureIsBoxedAndTrailed_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("inSource"); // the field's text below the source folder
        QTest::addColumn<QString>("source");
        QTest::addColumn<TShownBox>("box"); // "%1" in the detail: the settings folder
        QTest::addColumn<QString>("trailer");
        const TShownBox missing{"Sync Error", "The source directory does not exist."};
        const TShownBox file{"Sync Error", "The source must be a directory."};
        const QString report = "ERR:  Source Report did not complete.";
        // A folder in the list's place: Linux says what it is, Windows only refuses.
#ifdef Q_OS_WIN
        const QString reason = "Access denied.";
#else
        const QString reason = "Is a directory";
#endif
        const TShownBox list{"Write Error", "Cannot write source file list.",
                             "ERR:  Cannot write file '%1/reference_list.xml'.  Reason: " + reason};
        QTest::newRow("report, empty source")
            << "d_source_report" << false << "" << missing << report;
        QTest::newRow("report, source only /")
            << "d_source_report" << false << "/" << missing << report;
        QTest::newRow("report, source a file")
            << "d_source_report" << true << "/plain.txt" << file << report;
        QTest::newRow("report, list unwritable")
            << "d_source_report" << true << "" << list << report;
        QTest::newRow("sync, source a file")
            << "d_sync" << true << "/plain.txt" << file << "ERR:  Update did not complete.";
    }

    // The pane emptied but for the trailer, the buttons usable again, nothing written or removed.
    void failureIsBoxedAndTrailed()
    {
        QFETCH(QString, button);
        QFETCH(bool, inSource);
        QFETCH(QString, source);
        QFETCH(TShownBox, box);
        QFETCH(QString, trailer);
        TSyncFixture f;
        const QString list = f.home.Settings_Folder() + "/reference_list.xml";
        QVERIFY(Make_File(f.Src("plain.txt")));
        QVERIFY(Make_File(list + "/kept.txt", "kept"));
        f.Field("d_source")->setText((inSource ? f.source.path() : QString()) + source);
        f.dialog->findChild<QPlainTextEdit*>("d_output")->setPlainText("left from before");
        f.Button(qPrintable(button))->click();
        box.detail.replace("%1", f.home.Settings_Folder());
        QCOMPARE(f.watcher.Take(), QList<TShownBox>({box}));
        QCOMPARE(f.Output(), '\n' + trailer + '\n' + QString(44, '-') + '\n');
        QVERIFY(f.Usable());
        QCOMPARE(Read_File(list + "/kept.txt"), QByteArray("kept"));
        QVERIFY(!QFileInfo::exists(f.Dst(k_record)));
    }
};

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
