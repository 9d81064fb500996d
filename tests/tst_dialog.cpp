#include "dorvane.h"
#include "messagebox.h"
#include "testsupport.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QtTest>

static const QString k_rule = "--------------------------------------------\n";

class TestDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Set_Time_Zone("Europe/Berlin"); }
    void layout();
    void message_box();
    void writers();
    void failure_trailers_data();
    void failure_trailers();
    void real_buttons();
    void browse_data();
    void browse();
    void settings_data();
    void settings();
};

static QWidget* W(TDorvane& dialog, const char* name)
{
    return dialog.findChild<QWidget*>(name);
}
static QString Output(TDorvane& dialog)
{
    return dialog.findChild<QPlainTextEdit*>("d_output")->toPlainText();
}

void TestDialog::layout()
{
    TTestHome home;
    TDorvane dialog;
    QCOMPARE(dialog.windowTitle(), QString("Controlled Documents Dorvane - Version 1.3"));
    QCOMPARE(dialog.size(), QSize(601, 378));
    const QList<QWidget*> order = {W(dialog, "d_source"),      W(dialog, "d_browse_source"),
                                   W(dialog, "d_destination"), W(dialog, "d_browse_destination"),
                                   W(dialog, "d_output"),      W(dialog, "d_source_report"),
                                   W(dialog, "d_sync"),        W(dialog, "d_close")};
    for (int i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain(); // passing over inner widgets
        while (!order.contains(next))
            next = next->nextInFocusChain();
        QCOMPARE(next, order[i + 1]);
    }
    for (int i = 5; i < 8; ++i)
        QVERIFY(!static_cast<QPushButton*>(order[i])->autoDefault());
    const QFont pane = order[4]->font();
    QVERIFY(pane.family() == "courier new" && pane.fixedPitch());
    QCOMPARE(static_cast<QPlainTextEdit*>(order[4])->wordWrapMode(), QTextOption::NoWrap);
    const QLabel* notice = nullptr;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        notice = label->text().contains("Dorvane Project") ? label : notice;
    QVERIFY(notice && notice->text().size() == 77);
    QCOMPARE(notice->font().family(), QString("Verdana"));
    QVERIFY(notice->font().pointSize() == 8 && notice->font().italic());
}

// Shown the way every caller shows it: a detail first, then none; resized both ways.
void TestDialog::message_box()
{
    QWidget parent;
    TMessageBox box(&parent);
    TBoxWatcher watcher;
    QList<int> widths;
    watcher.on_box = [&](QMessageBox* shown) {
        for (int width : {900, 120}) {
            shown->setMinimumWidth(0);
            shown->resize(width, 300);
            QApplication::processEvents();
            widths << shown->width();
        }
    };
    for (const QString& detail : {QString("ERR:  something"), QString()}) {
        box.Set_Heading("Read Error %1");
        box.Set_Message("A long message that makes the base size the box wider than five "
                        "hundred pixels on its own, which the box must not keep.");
        box.setDetailedText(detail);
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setIcon(QMessageBox::Critical);
        box.exec();
    }
    QCOMPARE(box.text(), QString("<span style=\"font-size:10pt; font-weight:600; "
                                 "color:#000000;\" >Read Error %1</span>"));
    QVERIFY(box.informativeText().startsWith(
        "<span style=\"font-size:10pt; font-weight:400; color:#000000;\" >A long"));
    QCOMPARE(box.styleSheet(),
             QString("dialogbuttonbox-buttons-have-icons: 0;\nbutton-layout: 1;"));
    QCOMPARE(watcher.Count(), 2);
    QCOMPARE(widths, QList<int>({500, 500, 500, 500}));
    QCOMPARE(watcher.boxes[0].width, 500);
    QVERIFY(watcher.boxes[0].has_details_button && !watcher.boxes[1].has_details_button);
    QCOMPARE(watcher.boxes[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(watcher.boxes[1].default_button, QMessageBox::Ok);
    QCOMPARE(watcher.boxes[1].icon, QMessageBox::Critical);
}

// Entries and headings go to the end; a break goes where the user clicked.
void TestDialog::writers()
{
    TTestHome home;
    TDorvane dialog;
    auto* output = dialog.findChild<QPlainTextEdit*>("d_output");
    dialog.Write_Heading("");
    dialog.Write_Entry("one", "1 %1");
    QTextCursor cursor = output->textCursor();
    cursor.setPosition(k_rule.size() + 3);
    output->setTextCursor(cursor);
    dialog.Write_Break();
    dialog.Write_Entry("two", "2");
    dialog.Write_Heading("H");
    QCOMPARE(Output(dialog), "\n" + k_rule + "on\ne\t1 %1\ntwo\t2\nH\n" + k_rule);
    dialog.Clear_Output();
    QCOMPARE(Output(dialog), QString());
}

void TestDialog::failure_trailers_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("box"); // heading|message|start of the detail
    QTest::addColumn<QString>("trailer");
    const QString report = "ERR:  Source Report did not complete.";
    const QString missing = "Sync Error|The source directory does not exist.|";
    QTest::newRow("report, empty") << "Source_Report"
                                   << "" << missing << report;
    QTest::newRow("report, only /") << "Source_Report"
                                    << "/" << missing << report;
    QTest::newRow("report, a file") << "Source_Report"
                                    << "FILE"
                                    << "Sync Error|The source must be a directory.|" << report;
    QTest::newRow("report, list unwritable")
        << "Source_Report"
        << "DIR"
        << "Write Error|Cannot write source file list.|ERR:  Cannot write file '" << report;
    QTest::newRow("sync, a file") << "Sync"
                                  << "FILE"
                                  << "Sync Error|The source must be a directory.|"
                                  << "ERR:  Update did not complete.";
}

void TestDialog::failure_trailers()
{
    QFETCH(QString, slot);
    QFETCH(QString, source);
    QFETCH(QString, box);
    QFETCH(QString, trailer);
    TTestHome home;
    QTemporaryDir dir;
    QVERIFY(Make_File(dir.filePath("plain.txt")));
    // A folder where the reference list goes cannot be replaced, not even by root.
    const QString list = home.Settings_Folder() + "/reference_list.xml";
    QVERIFY(Make_File(list + "/kept.txt", "kept"));
    TDorvane dialog;
    dialog.findChild<QLineEdit*>("d_source")
        ->setText(source == "FILE"  ? dir.filePath("plain.txt")
                  : source == "DIR" ? dir.path()
                                    : source);
    dialog.findChild<QLineEdit*>("d_destination")->setText(dir.path());
    dialog.findChild<QPlainTextEdit*>("d_output")->setPlainText("left from before");
    TBoxWatcher watcher;
    QMetaObject::invokeMethod(&dialog, qPrintable(slot));
    // One box only: a failed source report never starts the sync.
    QCOMPARE(watcher.Count(), 1);
    const TShownBox& shown = watcher.boxes[0];
    QCOMPARE(
        QStringList({shown.heading, shown.message, shown.detail.left(box.section('|', 2).size())})
            .join('|'),
        box);
    QCOMPARE(Output(dialog), "\n" + trailer + "\n" + k_rule);
    QVERIFY(W(dialog, "d_sync")->isEnabled() && W(dialog, "d_source_report")->isEnabled());
    QVERIFY(!QFileInfo::exists(dir.filePath("controlled document information.txt")));
    QCOMPARE(Read_File(list + "/kept.txt"), QByteArray("kept"));
}

void TestDialog::real_buttons()
{
    TTestHome home;
    QTemporaryDir source;
    // 03 Mar 2026 14:05:09 in Berlin, a morning and a midnight hour.
    QVERIFY(Make_File(source.filePath("b.doc"), "b", 1772543109));
    QVERIFY(Make_File(source.filePath("A.doc"), "a", 1772514000));
    QVERIFY(Make_File(source.filePath("sub/c.doc"), "c", 1772492409));
    QVERIFY(Make_File(source.filePath("sub/.DS_Store"), "skip", 1772543109));
    QVERIFY(Make_File(source.filePath(".hidden"), "h", 1772543109));
    TDorvane dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* field = dialog.findChild<QLineEdit*>("d_source");
    field->setText(source.path() + "/");
    QTest::mouseClick(W(dialog, "d_source_report"), Qt::LeftButton);
    QCOMPARE(Output(dialog), "Controlled Files\n" + k_rule +
                                 "03 Mar 2026 02:05:09 PM\t/.hidden\n"
                                 "03 Mar 2026 06:00:00 AM\t/A.doc\n"
                                 "03 Mar 2026 02:05:09 PM\t/b.doc\n"
                                 "03 Mar 2026 12:00:09 AM\t/sub/c.doc\n");
    QVERIFY(Read_File(home.Settings_Folder() + "/reference_list.xml")
                .contains("        <File Modified=\"1772492409\">sub/c.doc</File>\n"));
    // Enter in a folder field presses no button.
    field->setText("/no/such/folder");
    TBoxWatcher watcher;
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(watcher.Count(), 0);
    QTest::mouseClick(W(dialog, "d_close"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
}

void TestDialog::browse_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("after");
    QTest::newRow("parent") << "d_browse_source"
                            << "C:/Docs/Procedures"
                            << "C:/Docs"
                            << "/x/New"
                            << "/x/New";
    QTest::newRow("backslash") << "d_browse_destination"
                               << "C:\\Docs"
                               << "C:"
                               << "/y"
                               << "/y";
    QTest::newRow("leading /") << "d_browse_source"
                               << "/Docs"
                               << "/Docs"
                               << ""
                               << "/Docs";
    QTest::newRow("no /") << "d_browse_source"
                          << "Docs"
                          << "Docs"
                          << ""
                          << "Docs";
    QTest::newRow("empty") << "d_browse_destination"
                           << ""
                           << ""
                           << "/z"
                           << "/z";
}

void TestDialog::browse()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, start);
    QFETCH(QString, picked);
    QFETCH(QString, after);
    TTestHome home;
    TDorvane dialog;
    const bool source = button == "d_browse_source";
    auto* edit = dialog.findChild<QLineEdit*>(source ? "d_source" : "d_destination");
    edit->setText(field);
    QStringList calls;
    dialog.Set_Folder_Picker([&](QWidget* parent, const QString& caption, const QString& folder) {
        calls << caption << folder;
        return parent == &dialog ? picked : QString("wrong parent");
    });
    static_cast<QToolButton*>(W(dialog, qPrintable(button)))->click();
    QCOMPARE(calls,
             QStringList({source ? "Select Source Folder" : "Select Destination Folder", start}));
    QCOMPARE(edit->text(), after);
}

void TestDialog::settings_data()
{
    QTest::addColumn<bool>("first_run");
    QTest::addColumn<bool>("escape");
    QTest::newRow("first run") << true << false;
    QTest::newRow("close") << false << false;
    QTest::newRow("escape") << false << true;
}

void TestDialog::settings()
{
    QFETCH(bool, first_run);
    QFETCH(bool, escape);
    TTestHome home;
    const QString ini = home.Settings_Folder() + "/Settings.ini";
    if (!first_run) {
        QSettings seed(ini, QSettings::IniFormat);
        seed.setValue("Source", "/old/source");
        seed.setValue("Destination", "C:\\Docs\\Copy");
        seed.setValue("Program_Touch", "");
        seed.setValue("Program_Touch_DateTime", "yyyyMMddhhmm.ss");
    }
    TDorvane dialog;
    dialog.show();
    auto* source = dialog.findChild<QLineEdit*>("d_source");
    QCOMPARE(source->text(), QString(first_run ? "" : "/old/source"));
    source->setText("/new/source");
    { // Edited by hand while the dialog runs: the dialog's values win.
        QSettings hand(ini, QSettings::IniFormat);
        hand.setValue("Destination", "/by/hand");
    }
    if (escape)
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        dialog.close();
    QVERIFY(!dialog.isVisible());
    QSettings stored(ini, QSettings::IniFormat);
    QCOMPARE(stored.allKeys().size(), 4);
    QCOMPARE(stored.value("Source").toString(), QString("/new/source"));
    QCOMPARE(stored.value("Destination").toString(), QString(first_run ? "" : "C:\\Docs\\Copy"));
    QCOMPARE(stored.value("Program_Touch").toString(), QString("touch.exe"));
    QCOMPARE(stored.value("Program_Touch_DateTime").toString(),
             QString(first_run ? "MMddhhmmyyyy.ss" : "yyyyMMddhhmm.ss"));
}

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
