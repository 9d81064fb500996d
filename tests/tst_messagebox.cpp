#include "messagebox.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QtTest>

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void markup_data();
    void markup();
    void width_stays_500();
    void detail_cleared_by_later_message();
};

static void Show(TMessageBox& box, const QString& heading, const QString& message,
                 const QString& detail)
{
    box.Set_Heading(heading);
    box.Set_Message(message);
    box.setDetailedText(detail);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setIcon(QMessageBox::Critical);
    box.exec();
}

void TestMessageBox::markup_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("message");
    QTest::newRow("plain") << "Sync Error"
                           << "<span style=\"font-size:10pt; font-weight:600; color:#000000;\" "
                              ">Sync Error</span>"
                           << "<span style=\"font-size:10pt; font-weight:400; color:#000000;\" "
                              ">Sync Error</span>";
    QTest::newRow("percent") << "a %1 b"
                             << "<span style=\"font-size:10pt; font-weight:600; color:#000000;\" "
                                ">a %1 b</span>"
                             << "<span style=\"font-size:10pt; font-weight:400; color:#000000;\" "
                                ">a %1 b</span>";
}

void TestMessageBox::markup()
{
    QFETCH(QString, text);
    QFETCH(QString, heading);
    QFETCH(QString, message);
    TMessageBox box(nullptr);
    box.Set_Heading(text);
    box.Set_Message(text);
    QCOMPARE(box.text(), heading);
    QCOMPARE(box.informativeText(), message);
    QCOMPARE(box.textFormat(), Qt::RichText);
}

void TestMessageBox::width_stays_500()
{
    QWidget parent;
    TMessageBox box(&parent);
    TBoxWatcher watcher;
    watcher.on_box = [](QMessageBox* shown) {
        shown->resize(900, 300);
        QApplication::processEvents();
        QCOMPARE(shown->width(), 500);
        shown->setMinimumWidth(0);
        shown->resize(120, 300);
        QApplication::processEvents();
        QCOMPARE(shown->width(), 500);
    };
    Show(box, "Read Error",
         "A long message that makes the base size the box wider than five hundred pixels "
         "on its own, which the box must not keep.",
         QString());
    QCOMPARE(watcher.Count(), 1);
    QCOMPARE(watcher.boxes[0].width, 500);
    QCOMPARE(watcher.boxes[0].heading, QString("Read Error"));
    QCOMPARE(watcher.boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(watcher.boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(watcher.boxes[0].default_button, QMessageBox::Ok);
    QVERIFY(box.styleSheet().contains("dialogbuttonbox-buttons-have-icons: 0;"));
    QVERIFY(box.windowTitle().isEmpty());
}

void TestMessageBox::detail_cleared_by_later_message()
{
    TMessageBox box(nullptr);
    TBoxWatcher watcher;
    Show(box, "Read Error", "Cannot read source file list", "ERR:  something");
    Show(box, "Sync Error", "The source directory does not exist.", QString());
    QCOMPARE(watcher.Count(), 2);
    QCOMPARE(watcher.boxes[0].detail, QString("ERR:  something"));
    QVERIFY(watcher.boxes[0].has_details_button);
    QCOMPARE(watcher.boxes[1].detail, QString());
    QVERIFY(!watcher.boxes[1].has_details_button);
    QCOMPARE(watcher.boxes[1].message, QString("The source directory does not exist."));
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
