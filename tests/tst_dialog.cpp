#include "messagebox.h"
#include "syncfixture.h"

#include <QtTest>

static const QString k_rule = "--------------------------------------------\n";

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }

    void layout_and_writers()
    {
        TTestHome home;
        TDorvane dialog;
        const auto labels = dialog.findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(dialog.windowTitle() + '\n' + labels.value(2)->text(),
                 "Controlled Documents Dorvane - Version 1.3\n"
                 "Dorvane - Copyright (C) 2026 Dorvane Project. https://www.dorvane.example.org");
        QStringList order; // passing over the widgets inside the fields
        for (QWidget* w = dialog.findChild<QWidget*>("d_source"); order.size() < 8;
             w = w->nextInFocusChain())
            if (w->objectName().startsWith("d_"))
                order << w->objectName().mid(2);
        QCOMPARE(order.join(' '), QString("source browse_source destination browse_destination "
                                          "output source_report sync close"));
        auto* output = dialog.findChild<QPlainTextEdit*>("d_output");

        // Entries and headings go to the end; a break goes where the user clicked.
        dialog.Write_Heading("");
        dialog.Write_Entry("one", "1 %1");
        output->moveCursor(QTextCursor::PreviousBlock); // as if clicked before "one"
        dialog.Write_Break();
        dialog.Write_Entry("two", "2");
        dialog.Write_Heading("H");
        QCOMPARE(output->toPlainText(), "\n" + k_rule + "\none\t1 %1\ntwo\t2\nH\n" + k_rule);
    }

    // However the base sizes it, and whatever width it is given, the box ends up 500 wide.
    void message_box()
    {
        TMessageBox box(nullptr);
        box.Set_Heading("Read Error %1");
        box.Set_Message("Cannot read %1.");
        QCOMPARE(box.text() + box.informativeText() + box.styleSheet(),
                 "<span style=\"font-size:10pt; font-weight:600; color:#000000;\" >Read Error %1"
                 "</span><span style=\"font-size:10pt; font-weight:400; color:#000000;\" >"
                 "Cannot read %1.</span>dialogbuttonbox-buttons-have-icons: 0;\nbutton-layout: 1;");
        TBoxWatcher watcher;
        QList<int> widths; // as shown, then when made wider
        watcher.on_box = [&](QMessageBox* shown) {
            widths << shown->width();
            shown->setMaximumWidth(QWIDGETSIZE_MAX);
            shown->resize(900, 300);
            QCoreApplication::processEvents();
            widths << shown->width();
        };
        box.exec();
        QCOMPARE(widths, QList<int>({500, 500}));
    }

    void failure_trailers_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("source"); // "@" stands for the source folder
        QTest::addColumn<QString>("box");    // heading|message|start of the detail
        const QString report = "Source_Report";
        const QString missing = "Sync Error|The source directory does not exist.|";
        const QString file = "Sync Error|The source must be a directory.|";
        QTest::newRow("report, empty") << report << QString() << missing;
        QTest::newRow("report, only /") << report << QString("/") << missing;
        QTest::newRow("report, a file") << report << QString("@/plain.txt") << file;
        QTest::newRow("report, list unwritable")
            << report << QString("@")
            << "Write Error|Cannot write source file list.|ERR:  Cannot write file '";
        QTest::newRow("sync, a file") << QString("Sync") << QString("@/plain.txt") << file;
    }

    void failure_trailers()
    {
        QFETCH(QString, slot);
        QFETCH(QString, source);
        QFETCH(QString, box);
        TSyncFixture f;
        // A folder where the reference list goes cannot be replaced, not even by root.
        const QString list = f.home.Settings_Folder() + "/reference_list.xml";
        QVERIFY(Make_File(f.Src("plain.txt")) && Make_File(list + "/kept.txt", "kept"));
        f.Field("d_source")->setText(source.replace("@", f.source.path()));
        f.dialog->findChild<QPlainTextEdit*>("d_output")->setPlainText("left from before");
        QMetaObject::invokeMethod(f.dialog.get(), qPrintable(slot));
        // One critical box with OK alone: a failed source report never starts the sync.
        const TShownBox shown = f.watcher.boxes.value(0);
        const QString detail = shown.detail.left(box.section('|', 2).size());
        QCOMPARE(shown.heading + '|' + shown.message + '|' + detail + '|' + shown.buttons,
                 box + "|1024/1024");
        const QString trailer = slot == "Sync" ? "Update" : "Source Report";
        QCOMPARE(f.Output(), "\nERR:  " + trailer + " did not complete.\n" + k_rule);
        QVERIFY(f.watcher.Count() == 1 && shown.icon == QMessageBox::Critical && f.Usable() &&
                Read_File(list + "/kept.txt") == "kept" &&
                !QFileInfo::exists(f.Dst("controlled document information.txt")));
    }

    void real_buttons()
    {
        TSyncFixture f;
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
    }

    void browse_data()
    {
        // Which field, its text, the folder the picker opens at, the folder picked ("": cancelled).
        QTest::addColumn<QStringList>("row");
        QTest::newRow("parent") << QStringList{"Source", "C:/Docs/Procedures", "C:/Docs", "/x/New"};
        QTest::newRow("backslash") << QStringList{"Destination", "C:\\Docs", "C:", "/y"};
        QTest::newRow("leading /") << QStringList{"Source", "/Docs", "/Docs", ""};
        QTest::newRow("no /") << QStringList{"Source", "Docs", "Docs", ""};
        QTest::newRow("empty") << QStringList{"Destination", "", "", "/z"};
    }

    void browse()
    {
        QFETCH(QStringList, row);
        TSyncFixture f;
        auto* edit = f.Field(qPrintable("d_" + row[0].toLower()));
        edit->setText(row[1]);
        QStringList calls;
        f.dialog->Set_Folder_Picker([&](QWidget* parent, QString caption, QString start) {
            calls << caption << start;
            return parent == f.dialog.get() ? row[3] : QString("wrong parent");
        });
        f.dialog->findChild<QToolButton*>("d_browse_" + row[0].toLower())->click();
        QCOMPARE(calls, QStringList({"Select " + row[0] + " Folder", row[2]}));
        QCOMPARE(edit->text(), row[3].isEmpty() ? row[1] : row[3]);
    }

    // A first run left by Escape; a second run, with settings edited by hand before and
    // while it runs, left by Close. The source typed in the first run survives both.
    void settings()
    {
        TTestHome home;
        const QString ini = home.Settings_Folder() + "/Settings.ini";
        auto dialog = std::make_unique<TDorvane>();
        dialog->findChild<QLineEdit*>("d_source")->setText("/new/source");
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QSettings(ini, QSettings::IniFormat).setValue("Destination", "C:\\Docs\\Copy");
        QSettings(ini, QSettings::IniFormat).setValue("Program_Touch_DateTime", "yyyyMMddhhmm.ss");
        dialog.reset(new TDorvane);
        dialog->show();
        // The dialog's values win over those edited while it runs.
        QSettings(ini, QSettings::IniFormat).setValue("Destination", "/by/hand");
        QTest::mouseClick(dialog->findChild<QPushButton*>("d_close"), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(Read_File(ini), QByteArray("[General]\nDestination=C:\\\\Docs\\\\Copy\n"
                                            "Program_Touch=touch.exe\n"
                                            "Program_Touch_DateTime=yyyyMMddhhmm.ss\n"
                                            "Source=/new/source\n"));
    }
};

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
