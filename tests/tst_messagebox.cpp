#include "messagebox.h"
#include "testsupport.h"

#include <QApplication>
#include <QtTest>

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void markup();
    void width_and_detail();
};

void TestMessageBox::markup()
{
    TMessageBox box(nullptr);
    box.Set_Heading("Sync Error %1");
    box.Set_Message("The source directory does not exist.");
    QCOMPARE(box.text(), QString("<span style=\"font-size:10pt; font-weight:600; "
                                 "color:#000000;\" >Sync Error %1</span>"));
    QCOMPARE(box.informativeText(), QString("<span style=\"font-size:10pt; font-weight:400; "
                                            "color:#000000;\" >The source directory does not "
                                            "exist.</span>"));
    QCOMPARE(box.textFormat(), Qt::RichText);
    QCOMPARE(box.styleSheet(),
             QString("dialogbuttonbox-buttons-have-icons: 0;\nbutton-layout: 1;"));
}

// Shown the way every caller shows it: a detail first, then none.
void TestMessageBox::width_and_detail()
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
        box.Set_Heading("Read Error");
        box.Set_Message("A long message that makes the base size the box wider than five "
                        "hundred pixels on its own, which the box must not keep.");
        box.setDetailedText(detail);
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setIcon(QMessageBox::Critical);
        box.exec();
    }
    QCOMPARE(watcher.Count(), 2);
    QCOMPARE(widths, QList<int>({500, 500, 500, 500}));
    QCOMPARE(watcher.boxes[0].width, 500);
    QVERIFY(watcher.boxes[0].has_details_button);
    QVERIFY(!watcher.boxes[1].has_details_button);
    QCOMPARE(watcher.boxes[1].detail, QString());
    QCOMPARE(watcher.boxes[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(watcher.boxes[1].default_button, QMessageBox::Ok);
    QCOMPARE(watcher.boxes[1].icon, QMessageBox::Critical);
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
