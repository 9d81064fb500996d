#include "dorvane.h"
#include "testsupport.h"

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
    void layout();
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
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("trailer");
    const QString report = "ERR:  Source Report did not complete.";
    const QString update = "ERR:  Update did not complete.";
    QTest::newRow("report, empty") << "Source_Report"
                                   << ""
                                   << "The source directory does not exist." << report;
    QTest::newRow("report, only /") << "Source_Report"
                                    << "/"
                                    << "The source directory does not exist." << report;
    QTest::newRow("report, a file") << "Source_Report"
                                    << "FILE"
                                    << "The source must be a directory." << report;
    QTest::newRow("sync, a file") << "Sync"
                                  << "FILE"
                                  << "The source must be a directory." << update;
}

void TestDialog::failure_trailers()
{
    QFETCH(QString, slot);
    QFETCH(QString, source);
    QFETCH(QString, message);
    QFETCH(QString, trailer);
    TTestHome home;
    QTemporaryDir dir;
    QVERIFY(Make_File(dir.filePath("plain.txt")));
    TDorvane dialog;
    dialog.findChild<QLineEdit*>("d_source")
        ->setText(source == "FILE" ? dir.filePath("plain.txt") : source);
    dialog.findChild<QLineEdit*>("d_destination")->setText(dir.path());
    dialog.findChild<QPlainTextEdit*>("d_output")->setPlainText("left from before");
    TBoxWatcher watcher;
    QMetaObject::invokeMethod(&dialog, qPrintable(slot));
    // One box only: a failed source report never starts the sync.
    QCOMPARE(watcher.Count(), 1);
    QCOMPARE(watcher.boxes[0].heading, QString("Sync Error"));
    QCOMPARE(watcher.boxes[0].message, message);
    QCOMPARE(watcher.boxes[0].detail, QString());
    QCOMPARE(Output(dialog), "\n" + trailer + "\n" + k_rule);
    QVERIFY(W(dialog, "d_sync")->isEnabled() && W(dialog, "d_source_report")->isEnabled());
    QVERIFY(!QFileInfo::exists(dir.filePath("controlled document information.txt")));
}

void TestDialog::real_buttons()
{
    TTestHome home;
    QTemporaryDir source;
    QVERIFY(Make_File(source.filePath("A.doc")));
    TDorvane dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* field = dialog.findChild<QLineEdit*>("d_source");
    field->setText(source.path());
    QTest::mouseClick(W(dialog, "d_source_report"), Qt::LeftButton);
    QVERIFY(Output(dialog).startsWith("Controlled Files\n" + k_rule));
    QVERIFY(Output(dialog).endsWith("\t/A.doc\n"));
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
