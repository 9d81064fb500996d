#include "messagebox.h"
#include "syncfixture.h"

#include <QLabel>
#include <QToolButton>
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
        QCOMPARE(dialog.windowTitle(), QString("Controlled Documents Dorvane - Version 1.3"));
        QCOMPARE(dialog.size(), QSize(601, 378));
        QList<QWidget*> order;
        for (const char* name :
             {"d_source", "d_browse_source", "d_destination", "d_browse_destination", "d_output",
              "d_source_report", "d_sync", "d_close"})
            order << dialog.findChild<QWidget*>(name);
        for (int i = 0; i + 1 < order.size(); ++i) {
            QWidget* next = order[i]->nextInFocusChain(); // passing over inner widgets
            while (!order.contains(next))
                next = next->nextInFocusChain();
            QCOMPARE(next, order[i + 1]);
        }
        for (int i = 5; i < 8; ++i)
            QVERIFY(!static_cast<QPushButton*>(order[i])->autoDefault());
        auto* output = static_cast<QPlainTextEdit*>(order[4]);
        QVERIFY(output->font().family() == "courier new" && output->font().fixedPitch() &&
                output->wordWrapMode() == QTextOption::NoWrap);
        const auto labels = dialog.findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(labels.size() == 3 && labels[2]->text().size() == 77); // the notice
        const QFont font = labels[2]->font();
        QVERIFY(font.family() == "Verdana" && font.pointSize() == 8 && font.italic());

        // Entries and headings go to the end; a break goes where the user clicked.
        dialog.Write_Heading("");
        dialog.Write_Entry("one", "1 %1");
        output->moveCursor(QTextCursor::PreviousBlock); // as if clicked before "one"
        dialog.Write_Break();
        dialog.Write_Entry("two", "2");
        dialog.Write_Heading("H");
        QCOMPARE(output->toPlainText(), "\n" + k_rule + "\none\t1 %1\ntwo\t2\nH\n" + k_rule);
    }

    // A detail first, then none, as the callers reuse the one box. However
    // the base sizes it, and whatever width it is given, it ends up 500 wide.
    void message_box()
    {
        TMessageBox box(nullptr);
        TBoxWatcher watcher;
        // Each box: its width as shown, made wider, made narrower; its buttons (OK, "Show
        // Details...").
        QStringList seen;
        watcher.on_box = [&](QMessageBox* shown) {
            for (int width : {900, 120}) {
                seen << QString::number(shown->width());
                shown->setMinimumWidth(0);
                shown->setMaximumWidth(QWIDGETSIZE_MAX);
                shown->resize(width, 300);
                QCoreApplication::processEvents();
            }
            seen << QString::number(shown->width()) << QString::number(shown->buttons().size());
        };
        for (const QString& detail : {QString("ERR:  something"), QString()}) {
            box.Set_Heading("Read Error %1");
            box.Set_Message("Cannot read %1.");
            box.setDetailedText(detail);
            box.exec();
        }
        QCOMPARE(seen, QStringList({"500", "500", "500", "2", "500", "500", "500", "1"}));
        QCOMPARE(box.text() + box.informativeText() + box.styleSheet(),
                 "<span style=\"font-size:10pt; font-weight:600; color:#000000;\" >Read Error %1"
                 "</span><span style=\"font-size:10pt; font-weight:400; color:#000000;\" >"
                 "Cannot read %1.</span>dialogbuttonbox-buttons-have-icons: 0;\nbutton-layout: 1;");
    }

    void failure_trailers_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("source"); // "@" stands for the source folder
        QTest::addColumn<QString>("box");    // heading|message|start of the detail
        const QString report = "Source_Report";
        const QString missing = "Sync Error|The source directory does not exist.|";
        const QString file = "Sync Error|The source must be a directory.|";
        const QString unwritable =
            "Write Error|Cannot write source file list.|ERR:  Cannot write file '";
        QTest::newRow("report, empty") << report << QString() << missing;
        QTest::newRow("report, only /") << report << QString("/") << missing;
        QTest::newRow("report, a file") << report << QString("@/plain.txt") << file;
        QTest::newRow("report, list unwritable") << report << QString("@") << unwritable;
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
        f.Field("d_source")->setText(QString(source).replace("@", f.source.path()));
        f.dialog->findChild<QPlainTextEdit*>("d_output")->setPlainText("left from before");
        QMetaObject::invokeMethod(f.dialog.get(), qPrintable(slot));
        // One box only: a failed source report never starts the sync.
        QCOMPARE(f.watcher.Count(), 1);
        const TShownBox& shown = f.watcher.boxes[0];
        const QString detail = shown.detail.left(box.section('|', 2).size());
        QCOMPARE(shown.heading + '|' + shown.message + '|' + detail, box);
        QCOMPARE(shown.buttons, QString("%1/%1").arg(int(QMessageBox::Ok)));
        QCOMPARE(shown.icon, QMessageBox::Critical);
        const QString trailer = slot == "Sync" ? "Update" : "Source Report";
        QCOMPARE(f.Output(), "\nERR:  " + trailer + " did not complete.\n" + k_rule);
        QVERIFY(f.Usable() && !QFileInfo::exists(f.Dst("controlled document information.txt")));
        QCOMPARE(Read_File(list + "/kept.txt"), QByteArray("kept"));
    }

    void real_buttons()
    {
        TSyncFixture f;
        // 03 Mar 2026 14:05:09 in Berlin, a morning and a midnight hour.
        for (const char* name : {"b.doc", "sub/.DS_Store", ".hidden"})
            QVERIFY(Make_File(f.Src(name), "x", 1772543109));
        QVERIFY(Make_File(f.Src("A.doc"), "a", 1772514000) &&
                Make_File(f.Src("sub/c.doc"), "c", 1772492409));
        f.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));
        f.Field("d_source")->setText(f.source.path() + "/");
        QTest::mouseClick(f.Button("d_source_report"), Qt::LeftButton);
        QCOMPARE(f.Output(), "Controlled Files\n" + k_rule +
                                 "03 Mar 2026 02:05:09 PM\t/.hidden\n"
                                 "03 Mar 2026 06:00:00 AM\t/A.doc\n"
                                 "03 Mar 2026 02:05:09 PM\t/b.doc\n"
                                 "03 Mar 2026 12:00:09 AM\t/sub/c.doc\n");
        QVERIFY(Read_File(f.home.Settings_Folder() + "/reference_list.xml")
                    .contains("        <File Modified=\"1772492409\">sub/c.doc</File>\n"));
        // Enter in a folder field presses no button.
        f.Field("d_source")->setText("/no/such/folder");
        QTest::keyClick(f.Field("d_source"), Qt::Key_Return);
        QVERIFY(f.watcher.Count() == 0 && f.dialog->isVisible());
        QTest::mouseClick(f.Button("d_close"), Qt::LeftButton);
        QVERIFY(!f.dialog->isVisible());
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
        auto* edit = f.dialog->findChild<QLineEdit*>("d_" + row[0].toLower());
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

    void settings_data()
    {
        // Source|Destination|Program_Touch|Program_Touch_DateTime as found (none on a first run),
        // and as stored when the dialog has gone.
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("escape");
        QTest::addColumn<QString>("after");
        const QString seed = "/old/source|C:\\Docs\\Copy||yyyyMMddhhmm.ss";
        const QString kept = "/new/source|C:\\Docs\\Copy|touch.exe|yyyyMMddhhmm.ss";
        QTest::newRow("first run")
            << QString() << false << QString("/new/source||touch.exe|MMddhhmmyyyy.ss");
        QTest::newRow("close") << seed << false << kept;
        QTest::newRow("escape") << seed << true << kept;
    }

    void settings()
    {
        QFETCH(QString, before);
        QFETCH(bool, escape);
        QFETCH(QString, after);
        TTestHome home;
        const QStringList keys = {"Source", "Destination", "Program_Touch",
                                  "Program_Touch_DateTime"};
        const QString ini = home.Settings_Folder() + "/Settings.ini";
        for (int i = 0; i < keys.size() && !before.isEmpty(); ++i)
            QSettings(ini, QSettings::IniFormat).setValue(keys[i], before.section('|', i, i));
        TDorvane dialog;
        dialog.show();
        auto* source = dialog.findChild<QLineEdit*>("d_source");
        QCOMPARE(source->text(), before.section('|', 0, 0));
        source->setText("/new/source");
        // Edited by hand while the dialog runs: the dialog's values win.
        QSettings(ini, QSettings::IniFormat).setValue("Destination", "/by/hand");
        if (escape)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.close();
        QVERIFY(!dialog.isVisible());
        QSettings stored(ini, QSettings::IniFormat);
        QStringList values;
        for (const QString& key : keys)
            values << stored.value(key).toString();
        QCOMPARE(stored.allKeys().size(), 4);
        QCOMPARE(values.join('|'), after);
    }
};

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
