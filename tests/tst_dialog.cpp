#include "syncfixture.h"

#include <QtTest>

static const QString k_rule = "--------------------------------------------\n";

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }

    // A source report, then the dialog left by Escape, Close or the close box.
    void session_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Escape") << 0;
        QTest::newRow("Close") << 1;
        QTest::newRow("close box") << 2;
    }

    void session()
    {
        QFETCH(int, how);
        TSyncFixture f(QString(), "yyyyMMddhhmm.ss");
        const auto labels = f.dialog->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(f.dialog->windowTitle() + '\n' + labels.value(2)->text(),
                 "Controlled Documents Dorvane - Version 1.3\n"
                 "Dorvane - Copyright (C) 2026 Dorvane Project. https://www.dorvane.example.org");
        QStringList order; // passing over the widgets inside the fields
        for (QWidget* w = f.Field("d_source"); order.size() < 8; w = w->nextInFocusChain())
            if (w->objectName().startsWith("d_"))
                order << w->objectName().mid(2);
        QCOMPARE(order.join(' '), QString("source browse_source destination browse_destination "
                                          "output source_report sync close"));
        // A morning, an afternoon and a midnight hour on 03 Mar 2026 in Berlin.
        QVERIFY(Make_File(f.Src("A.doc"), "a", 1772514000) &&
                Make_File(f.Src("b.doc"), "b", 1772543109) &&
                Make_File(f.Src("sub/c.doc"), "c", 1772492409));
        f.dialog->show();
        f.Field("d_source")->setText(f.source.path() + "/");
        QTest::mouseClick(f.Button("d_source_report"), Qt::LeftButton);
        QCOMPARE(f.Output(), "Controlled Files\n" + k_rule +
                                 "03 Mar 2026 06:00:00 AM\t/A.doc\n"
                                 "03 Mar 2026 02:05:09 PM\t/b.doc\n"
                                 "03 Mar 2026 12:00:09 AM\t/sub/c.doc\n");
        // Enter in a folder field presses no button: none of them is a default one.
        f.Field("d_source")->setText("/no/such/folder");
        QTest::keyClick(f.Field("d_source"), Qt::Key_Return);
        QVERIFY(f.watcher.Count() == 0 && f.dialog->isVisible());
        // The fields' values win over those edited by hand while the dialog runs; the format
        // given before it opened is kept, the default touch program written out.
        const QString ini = f.home.Settings_Folder() + "/Settings.ini";
        QSettings(ini, QSettings::IniFormat).setValue("Destination", "/by/hand");
        if (how == 0)
            QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
        else if (how == 1)
            QTest::mouseClick(f.Button("d_close"), Qt::LeftButton);
        else
            QVERIFY(f.dialog->windowHandle()->close());
        QVERIFY(!f.dialog->isVisible());
        QCOMPARE(Read_File(ini), "[General]\nDestination=" + f.destination.path().toUtf8() +
                                     "\nProgram_Touch=touch.exe\nProgram_Touch_DateTime="
                                     "yyyyMMddhhmm.ss\nSource=/no/such/folder\n");
    }

    void failures_data()
    {
        // The button|the source ("@": the source folder)|the box's heading|message|detail ("~":
        // the settings folder). The list cannot be written: a folder has its name.
        QTest::addColumn<QString>("row");
        const QString report = "source_report|";
        const QString missing = "|Sync Error|The source directory does not exist.|";
        const QString file = "@/plain.txt|Sync Error|The source must be a directory.|";
        QTest::newRow("report, empty") << report + missing;
        QTest::newRow("report, only /") << report + "/" + missing;
        QTest::newRow("report, a file") << report + file;
        QTest::newRow("report, list unwritable")
            << report + "@|Write Error|Cannot write source file list.|ERR:  Cannot write file "
                        "'~/reference_list.xml'.  Reason: Is a directory";
        QTest::newRow("sync, a file") << "sync|" + file;
    }

    void failures()
    {
        QFETCH(QString, row);
        TSyncFixture f;
        const QStringList r =
            row.replace("@", f.source.path()).replace("~", f.home.Settings_Folder()).split('|');
        const QString list = f.home.Settings_Folder() + "/reference_list.xml";
        QVERIFY(Make_File(f.Src("plain.txt")) && Make_File(list + "/kept.txt", "kept"));
        f.Field("d_source")->setText(r[1]);
        f.dialog->findChild<QPlainTextEdit*>("d_output")->setPlainText("left from before");
        f.Button(qPrintable("d_" + r[0]))->click();
        // One critical box with OK alone, 500 wide: a failed source report never starts the sync.
        const TShownBox shown = f.watcher.boxes.value(0);
        QCOMPARE(QStringList({shown.heading, shown.message, shown.detail, shown.buttons}),
                 r.mid(2) << "1024/1024/3/500");
        const QString trailer = r[0] == "sync" ? "Update" : "Source Report";
        QCOMPARE(f.Output(), "\nERR:  " + trailer + " did not complete.\n" + k_rule);
        QVERIFY(f.watcher.Count() == 1 && f.Usable() && Read_File(list + "/kept.txt") == "kept" &&
                !QFileInfo::exists(f.Dst("controlled document information.txt")));
    }
};

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
