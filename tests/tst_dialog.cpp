#include "syncfixture.h"

#include <QtTest>

static const QString k_rule = QString(44, '-') + '\n';

// How the user leaves the dialog.
enum class TLeave { Escape, Close_Button, Close_Box };
Q_DECLARE_METATYPE(TLeave)

// What the source field holds when a button is pressed.
enum class TSourceField { Empty, Root, Plain_File, Source_Folder };
Q_DECLARE_METATYPE(TSourceField)

// Settings.ini as Qt writes it: keys sorted on Linux; on Windows, where keys ignore case, in the
// order they were first written; the platform's line ends.
static QByteArray Ini_Text(QList<QPair<QByteArray, QByteArray>> keys)
{
#ifndef Q_OS_WIN
    std::sort(keys.begin(), keys.end());
#endif
    QByteArray text = "[General]\n";
    for (const auto& key : keys)
        text += key.first + '=' + key.second + '\n';
    return Native_Lines(text);
}

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Set_Time_Zone("Europe/Berlin");
        // Winter and summer time in Berlin: on Windows the zone is the one Wine was started in.
        QCOMPARE(QDateTime::fromSecsSinceEpoch(1772514000).offsetFromUtc(), 3600);
        QCOMPARE(QDateTime::fromSecsSinceEpoch(1785000000).offsetFromUtc(), 7200);
    }

    void titleAndNotice()
    {
        TSyncFixture f;
        const auto labels = f.dialog->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(f.dialog->windowTitle(), QString("Controlled Documents Dorvane - Version 1.3"));
        QCOMPARE(labels.value(2)->text(), QString("Dorvane - Copyright (C) 2026 Dorvane Project. "
                                                  "https://www.dorvane.example.org"));
    }

    void tabOrder()
    {
        TSyncFixture f;
        QStringList order; // passing over the widgets inside the fields
        for (QWidget* w = f.Field("d_source"); order.size() < 9; w = w->nextInFocusChain())
            if (w->objectName().startsWith("d_"))
                order << w->objectName();
        QCOMPARE(order, QStringList({"d_source", "d_browse_source", "d_destination",
                                     "d_browse_destination", "d_output", "d_source_report",
                                     "d_sync", "d_close", "d_source"}));
    }

    // A morning, an afternoon and a midnight hour on 03 Mar 2026 in Berlin, sorted by name with
    // the subfolder's files after those above them.
    void sourceReportListsLocalTimes()
    {
        TSyncFixture f;
        QVERIFY(Make_File(f.Src("A.doc"), "a", 1772514000));
        QVERIFY(Make_File(f.Src("b.doc"), "b", 1772543109));
        QVERIFY(Make_File(f.Src("sub/c.doc"), "c", 1772492409));
        f.dialog->show();
        f.Field("d_source")->setText(f.source.path() + "/");
        QTest::mouseClick(f.Button("d_source_report"), Qt::LeftButton);
        QCOMPARE(f.Output(), "Controlled Files\n" + k_rule +
                                 "03 Mar 2026 06:00:00 AM\t/A.doc\n"
                                 "03 Mar 2026 02:05:09 PM\t/b.doc\n"
                                 "03 Mar 2026 12:00:09 AM\t/sub/c.doc\n");
        QVERIFY(f.Shown_Boxes().isEmpty());
    }

    // None of the buttons is a default one.
    void enterInAFieldPressesNoButton()
    {
        TSyncFixture f;
        f.dialog->show();
        f.Field("d_source")->setText("/no/such/folder");
        QTest::keyClick(f.Field("d_source"), Qt::Key_Return);
        QVERIFY(f.Shown_Boxes().isEmpty());
        QVERIFY(f.dialog->isVisible());
        QCOMPARE(f.Output(), QString());
    }

    // First run: the settings folder is made under the home folder; closing writes all four
    // settings, the defaults of the touch program and its format too.
    void firstRunWritesDefaults()
    {
        TTestHome home;
        TDorvane dialog;
        QVERIFY(QFileInfo(home.Settings_Folder()).isDir());
        QVERIFY(dialog.close());
        QCOMPARE(Read_File(home.Settings_Folder() + "/Settings.ini"),
                 Ini_Text({{"Source", ""},
                           {"Destination", ""},
                           {"Program_Touch", "touch.exe"},
                           {"Program_Touch_DateTime", "MMddhhmmyyyy.ss"}}));
    }

    void settingsSavedOnLeaving_data()
    {
        QTest::addColumn<TLeave>("leave");
        QTest::newRow("Escape") << TLeave::Escape;
        QTest::newRow("Close button") << TLeave::Close_Button;
        QTest::newRow("close box") << TLeave::Close_Box;
    }

    // The fields' values win over those edited by hand while the dialog runs; the format given
    // before it opened is kept, the default touch program written out.
    void settingsSavedOnLeaving()
    {
        QFETCH(TLeave, leave);
        TSyncFixture f(QString(), "yyyyMMddhhmm.ss");
        f.dialog->show();
        f.Field("d_source")->setText("/no/such/folder");
        const QString ini = f.home.Settings_Folder() + "/Settings.ini";
        QSettings(ini, QSettings::IniFormat).setValue("Destination", "/by/hand");
        switch (leave) {
        case TLeave::Escape:
            QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
            break;
        case TLeave::Close_Button:
            QTest::mouseClick(f.Button("d_close"), Qt::LeftButton);
            break;
        case TLeave::Close_Box:
            QVERIFY(f.dialog->windowHandle()->close());
            break;
        }
        QVERIFY(!f.dialog->isVisible());
        QCOMPARE(Read_File(ini), Ini_Text({{"Source", "/no/such/folder"},
                                           {"Destination", f.destination.path().toUtf8()},
                                           {"Program_Touch", "touch.exe"},
                                           {"Program_Touch_DateTime", "yyyyMMddhhmm.ss"}}));
    }

    void failureIsBoxedAndTrailed_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<TSourceField>("source");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("message");
        // "%1": the settings folder.
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("trailer");

        const QString missing = "The source directory does not exist.";
        const QString file = "The source must be a directory.";
        const QString report = "ERR:  Source Report did not complete.";
        QTest::newRow("report, empty source") << "d_source_report" << TSourceField::Empty
                                              << "Sync Error" << missing << QString() << report;
        QTest::newRow("report, source only /") << "d_source_report" << TSourceField::Root
                                               << "Sync Error" << missing << QString() << report;
        QTest::newRow("report, source a file") << "d_source_report" << TSourceField::Plain_File
                                               << "Sync Error" << file << QString() << report;
        // A folder has the list's name: Linux says what it is, Windows only refuses.
#ifdef Q_OS_WIN
        const QString reason = "Access denied.";
#else
        const QString reason = "Is a directory";
#endif
        QTest::newRow("report, list unwritable")
            << "d_source_report" << TSourceField::Source_Folder << "Write Error"
            << "Cannot write source file list."
            << "ERR:  Cannot write file '%1/reference_list.xml'.  Reason: " + reason << report;
        QTest::newRow("sync, source a file")
            << "d_sync" << TSourceField::Plain_File << "Sync Error" << file << QString()
            << "ERR:  Update did not complete.";
    }

    // One error box, the pane emptied but for the trailer, the buttons usable again; a failed
    // source report never starts the sync, and the blocking folder keeps what it holds.
    void failureIsBoxedAndTrailed()
    {
        QFETCH(QString, button);
        QFETCH(TSourceField, source);
        QFETCH(QString, heading);
        QFETCH(QString, message);
        QFETCH(QString, detail);
        QFETCH(QString, trailer);
        TSyncFixture f;
        const QString list = f.home.Settings_Folder() + "/reference_list.xml";
        QVERIFY(Make_File(f.Src("plain.txt")));
        QVERIFY(Make_File(list + "/kept.txt", "kept"));
        const QString texts[] = {QString(), "/", f.Src("plain.txt"), f.source.path()};
        f.Field("d_source")->setText(texts[int(source)]);
        f.dialog->findChild<QPlainTextEdit*>("d_output")->setPlainText("left from before");

        f.Button(qPrintable(button))->click();
        QCOMPARE(f.Shown_Boxes(),
                 QList<TShownBox>({Error_Box(
                     heading, message, QString(detail).replace("%1", f.home.Settings_Folder()))}));
        QCOMPARE(f.Output(), "\n" + trailer + "\n" + k_rule);
        QVERIFY(f.Usable());
        QCOMPARE(Read_File(list + "/kept.txt"), QByteArray("kept"));
        QVERIFY(!QFileInfo::exists(f.Dst(k_record)));
    }
};

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
