#include "dorvane.h"
#include "testsupport.h"

#include <QFontInfo>
#include <QKeyEvent>
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
    void layout_and_texts();
    void writers_data();
    void writers();
    void break_at_cursor_heading_at_end();
    void failure_trailers_data();
    void failure_trailers();
    void real_buttons_clicked();
    void browse_start_folder_data();
    void browse_start_folder();
    void settings_first_run();
    void settings_saved_data();
    void settings_saved();
};

template <typename T> static T* Child(TDorvane& dialog, const char* name)
{
    T* widget = dialog.findChild<T*>(name);
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

void TestDialog::layout_and_texts()
{
    TTestHome home;
    TDorvane dialog;
    QCOMPARE(dialog.windowTitle(), QString("Controlled Documents Dorvane - Version 1.3"));
    QCOMPARE(dialog.size(), QSize(601, 378));

    const QList<QWidget*> order = {Child<QLineEdit>(dialog, "d_source"),
                                   Child<QToolButton>(dialog, "d_browse_source"),
                                   Child<QLineEdit>(dialog, "d_destination"),
                                   Child<QToolButton>(dialog, "d_browse_destination"),
                                   Child<QPlainTextEdit>(dialog, "d_output"),
                                   Child<QPushButton>(dialog, "d_source_report"),
                                   Child<QPushButton>(dialog, "d_sync"),
                                   Child<QPushButton>(dialog, "d_close")};
    // The next of the eight in the focus chain, passing over inner widgets.
    for (int i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (!order.contains(next))
            next = next->nextInFocusChain();
        QCOMPARE(next, order[i + 1]);
    }

    for (const char* name : {"d_source_report", "d_sync", "d_close"})
        QVERIFY(!Child<QPushButton>(dialog, name)->autoDefault());
    QCOMPARE(Child<QPushButton>(dialog, "d_source_report")->text(), QString("Source Report"));
    QCOMPARE(Child<QToolButton>(dialog, "d_browse_source")->text(), QString("..."));

    auto* output = Child<QPlainTextEdit>(dialog, "d_output");
    QCOMPARE(output->font().family(), QString("courier new"));
    QVERIFY(output->font().fixedPitch());
    QCOMPARE(output->wordWrapMode(), QTextOption::NoWrap);
    QVERIFY(!output->isReadOnly());

    QLabel* notice = nullptr;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (label->text().contains("Dorvane Project"))
            notice = label;
    QVERIFY(notice);
    QCOMPARE(notice->text().size(), 77);
    QCOMPARE(notice->font().family(), QString("Verdana"));
    QCOMPARE(notice->font().pointSize(), 8);
    QCOMPARE(notice->font().style(), QFont::StyleItalic);
}

void TestDialog::writers_data()
{
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty heading") << ""
                                   << "a"
                                   << "b"
                                   << "\n" + k_rule + "a\tb\n";
    QTest::newRow("texts") << "Controlled Files"
                           << "05 Mar 2017 01:07:09 PM"
                           << "/A %1.doc"
                           << "Controlled Files\n" + k_rule +
                                  "05 Mar 2017 01:07:09 PM\t/A %1.doc\n";
}

void TestDialog::writers()
{
    QFETCH(QString, heading);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    TTestHome home;
    TDorvane dialog;
    auto* output = Child<QPlainTextEdit>(dialog, "d_output");
    output->setPlainText("typed");
    dialog.Clear_Output();
    QCOMPARE(output->toPlainText(), QString());
    dialog.Write_Heading(heading);
    output->moveCursor(QTextCursor::Start);
    dialog.Write_Entry(key, value);
    QCOMPARE(output->toPlainText(), expected);
}

void TestDialog::break_at_cursor_heading_at_end()
{
    TTestHome home;
    TDorvane dialog;
    dialog.show();
    auto* output = Child<QPlainTextEdit>(dialog, "d_output");
    dialog.Write_Entry("one", "1");
    dialog.Write_Entry("two", "2");
    // The user clicks between "on" and "e".
    QTextCursor cursor = output->textCursor();
    cursor.setPosition(2);
    output->setTextCursor(cursor);
    dialog.Write_Break();
    dialog.Write_Heading("H");
    QCOMPARE(output->toPlainText(), "on\ne\t1\ntwo\t2\nH\n" + k_rule);
}

void TestDialog::failure_trailers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("trailer");
    QTest::newRow("report, empty field") << "d_source_report"
                                         << ""
                                         << "The source directory does not exist."
                                         << "ERR:  Source Report did not complete.";
    QTest::newRow("report, only a slash") << "d_source_report"
                                          << "/"
                                          << "The source directory does not exist."
                                          << "ERR:  Source Report did not complete.";
    QTest::newRow("report, a file") << "d_source_report"
                                    << "FILE"
                                    << "The source must be a directory."
                                    << "ERR:  Source Report did not complete.";
    QTest::newRow("sync, missing") << "d_sync"
                                   << "/no/such/folder"
                                   << "The source directory does not exist."
                                   << "ERR:  Update did not complete.";
    QTest::newRow("sync, a file") << "d_sync"
                                  << "FILE"
                                  << "The source must be a directory."
                                  << "ERR:  Update did not complete.";
}

void TestDialog::failure_trailers()
{
    QFETCH(QString, button);
    QFETCH(QString, source);
    QFETCH(QString, message);
    QFETCH(QString, trailer);
    TTestHome home;
    QTemporaryDir dir;
    const QString file = dir.filePath("plain.txt");
    QVERIFY(Make_File(file));
    TDorvane dialog;
    Child<QLineEdit>(dialog, "d_source")->setText(source == "FILE" ? file : source);
    Child<QLineEdit>(dialog, "d_destination")->setText(dir.path());
    auto* output = Child<QPlainTextEdit>(dialog, "d_output");
    output->setPlainText("left from before");
    TBoxWatcher watcher;
    QMetaObject::invokeMethod(&dialog, button == "d_sync" ? "Sync" : "Source_Report");
    // One box only: a failed source report never starts the sync.
    QCOMPARE(watcher.Count(), 1);
    QCOMPARE(watcher.boxes[0].heading, QString("Sync Error"));
    QCOMPARE(watcher.boxes[0].message, message);
    QCOMPARE(watcher.boxes[0].detail, QString());
    QCOMPARE(output->toPlainText(), "\n" + trailer + "\n" + k_rule);
    QVERIFY(Child<QPushButton>(dialog, "d_sync")->isEnabled());
    QVERIFY(Child<QPushButton>(dialog, "d_source_report")->isEnabled());
    QVERIFY(!QFileInfo::exists(dir.filePath("controlled document information.txt")));
}

void TestDialog::real_buttons_clicked()
{
    TTestHome home;
    QTemporaryDir source;
    QVERIFY(Make_File(source.filePath("A.doc")));
    TDorvane dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    Child<QLineEdit>(dialog, "d_source")->setText(source.path());
    QTest::mouseClick(Child<QPushButton>(dialog, "d_source_report"), Qt::LeftButton);
    const QString text = Child<QPlainTextEdit>(dialog, "d_output")->toPlainText();
    QVERIFY2(text.startsWith("Controlled Files\n" + k_rule) && text.endsWith("\t/A.doc\n"),
             qPrintable(text));
    QVERIFY(QFileInfo::exists(home.Settings_Folder() + "/reference_list.xml"));

    // Enter in a folder field presses no button.
    auto* field = Child<QLineEdit>(dialog, "d_source");
    field->setText("/no/such/folder");
    field->setFocus();
    TBoxWatcher watcher;
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(watcher.Count(), 0);
    QVERIFY(dialog.isVisible());

    QTest::mouseClick(Child<QPushButton>(dialog, "d_close"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
}

void TestDialog::browse_start_folder_data()
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
    QTest::newRow("backslashes") << "d_browse_destination"
                                 << "C:\\Docs"
                                 << "C:"
                                 << "/y"
                                 << "/y";
    QTest::newRow("leading slash only") << "d_browse_source"
                                        << "/Docs"
                                        << "/Docs"
                                        << ""
                                        << "/Docs";
    QTest::newRow("no slash") << "d_browse_source"
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

void TestDialog::browse_start_folder()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, start);
    QFETCH(QString, picked);
    QFETCH(QString, after);
    TTestHome home;
    TDorvane dialog;
    const bool source = button == "d_browse_source";
    auto* edit = Child<QLineEdit>(dialog, source ? "d_source" : "d_destination");
    edit->setText(field);
    QStringList calls;
    dialog.Set_Folder_Picker([&](QWidget* parent, const QString& caption, const QString& folder) {
        calls << caption << folder;
        return parent == &dialog ? picked : QString("wrong parent");
    });
    Child<QToolButton>(dialog, qPrintable(button))->click();
    QCOMPARE(calls, QStringList() << (source ? "Select Source Folder" : "Select Destination Folder")
                                  << start);
    QCOMPARE(edit->text(), after);
}

void TestDialog::settings_first_run()
{
    TTestHome home;
    QVERIFY(!QFileInfo::exists(home.Settings_Folder()));
    {
        TDorvane dialog;
        QVERIFY(QFileInfo(home.Settings_Folder()).isDir());
        QCOMPARE(Child<QLineEdit>(dialog, "d_source")->text(), QString());
        QCOMPARE(Child<QLineEdit>(dialog, "d_destination")->text(), QString());
        dialog.show();
        dialog.close();
    }
    QSettings stored(home.Settings_Folder() + "/Settings.ini", QSettings::IniFormat);
    QCOMPARE(stored.allKeys().size(), 4);
    QCOMPARE(stored.value("Source").toString(), QString());
    QCOMPARE(stored.value("Program_Touch").toString(), QString("touch.exe"));
    QCOMPARE(stored.value("Program_Touch_DateTime").toString(), QString("MMddhhmmyyyy.ss"));
}

void TestDialog::settings_saved_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("close") << false;
    QTest::newRow("escape") << true;
}

void TestDialog::settings_saved()
{
    QFETCH(bool, escape);
    TTestHome home;
    const QString ini = home.Settings_Folder() + "/Settings.ini";
    QVERIFY(QDir().mkpath(home.Settings_Folder()));
    {
        QSettings seed(ini, QSettings::IniFormat);
        seed.setValue("Source", "/old/source");
        seed.setValue("Destination", "C:\\Docs\\Copy");
        seed.setValue("Program_Touch", "");
        seed.setValue("Program_Touch_DateTime", "yyyyMMddhhmm.ss");
    }
    TDorvane dialog;
    dialog.show();
    QCOMPARE(Child<QLineEdit>(dialog, "d_source")->text(), QString("/old/source"));
    QCOMPARE(Child<QLineEdit>(dialog, "d_destination")->text(), QString("C:\\Docs\\Copy"));
    Child<QLineEdit>(dialog, "d_source")->setText("/new/source");
    {
        // Edited by hand while the dialog runs: the dialog's values win.
        QSettings hand(ini, QSettings::IniFormat);
        hand.setValue("Destination", "/by/hand");
        hand.setValue("Program_Touch_DateTime", "hand");
    }
    if (escape)
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        dialog.close();
    QVERIFY(!dialog.isVisible());
    QSettings stored(ini, QSettings::IniFormat);
    QCOMPARE(stored.value("Source").toString(), QString("/new/source"));
    QCOMPARE(stored.value("Destination").toString(), QString("C:\\Docs\\Copy"));
    QCOMPARE(stored.value("Program_Touch").toString(), QString("touch.exe"));
    QCOMPARE(stored.value("Program_Touch_DateTime").toString(), QString("yyyyMMddhhmm.ss"));
}

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
