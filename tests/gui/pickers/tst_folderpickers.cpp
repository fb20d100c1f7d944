#include <sys/stat.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "support/gui/testmain.h"
#include "support/gui/window.h"

using namespace plovern;
using namespace plovern::test;

namespace {

struct Pickers : WindowUnderTest
{
    Pickers()
    {
        root = QDir(env.folder.path()).canonicalPath();
        makeTree(root, {{"alpha/inner/", {}}, {"beta/", {}}, {".hidden/", {}}, {"file.txt", "not a folder"}});
        window.Form_Load();
        timer()->stop();
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("the window was never exposed");
    }

    DirList* dir(const char* name) { return get<DirList>(name); }

    QStringList itemTexts(DirList* list)
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts.append(list->item(i)->text().trimmed());
        return texts;
    }

    QListWidgetItem* item(DirList* list, const QString& text)
    {
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->text().trimmed() == text)
                return list->item(i);
        }
        qFatal("no item %s", qPrintable(text));
    }

    void doubleClick(DirList* list, const QString& text)
    {
        QListWidgetItem* target = item(list, text);
        list->scrollToItem(target);
        const QRect rect = list->visualItemRect(target);
        // A real double click: press and release, then the second press as a double click.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    QString root;
};

} // namespace

class TestFolderPickers : public QObject
{
    Q_OBJECT
private slots:
    void startupFillsNoTextBox()
    {
        Pickers w;
        QCOMPARE(w.edit("Text1")->text(), QString());
        QCOMPARE(w.edit("Text2")->text(), QString());
        QCOMPARE(w.dir("Dir1")->path(), QDir::currentPath());
        QVERIFY(!w.get<DriveList>("Drive1")->drive().isEmpty());
    }

    void aLongDriveNameKeepsItsLastFolderInSight()
    {
        DriveList list({"/", "/media/anna/My Passport Ultra"});
        list.resize(1455 / 15, 315 / 15);
        list.setCurrentIndex(1);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const QString shown = list.shownText();
        QVERIFY2(shown.endsWith("Ultra") && shown.contains(QChar(0x2026)), qPrintable(shown));
        QVERIFY(list.font().pointSizeF() >= 8.0); // elided, not squeezed
        QCOMPARE(list.toolTip(), QStringLiteral("/media/anna/My Passport Ultra"));
        QCOMPARE(list.itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("/media/anna/My Passport Ultra"));
        list.showPopup();
        QTRY_VERIFY(list.view()->isVisible());
        QVERIFY(list.view()->width() >= list.view()->fontMetrics().horizontalAdvance("/media/anna/My Passport Ultra"));
        list.hidePopup();
    }

    void theMinuteAndSecondListsShowFifteenAtATime()
    {
        Pickers w;
        for (const char* name : {"Combo2", "Combo3"}) {
            PickList* list = w.list(name);
            QCOMPARE(list->count(), 60);
            list->showPopup();
            QTRY_VERIFY(list->view()->isVisible());
            const int rows = list->view()->viewport()->height() / list->view()->sizeHintForRow(0);
            QVERIFY2(rows >= 14 && rows <= 15, qPrintable(QString::number(rows)));
            list->hidePopup();
        }
    }

    void listShowsTheAncestorsThenTheSubfoldersByName()
    {
        Pickers w;
        DirList* dir1 = w.dir("Dir1");
        QVERIFY(dir1->setPath(w.root));
        const QStringList texts = w.itemTexts(dir1);
        QCOMPARE(texts.first(), QStringLiteral("/"));
        QCOMPARE(texts.mid(texts.size() - 3),
                 (QStringList{QDir(w.root).dirName(), "alpha", "beta"})); // hidden folders and files left out
        QCOMPARE(dir1->currentItem()->text().trimmed(), QDir(w.root).dirName());
    }

    void typingFindsAFolderByItsName()
    {
        Pickers w;
        DirList* dir1 = w.dir("Dir1");
        QVERIFY(dir1->setPath(w.root));
        // The focus shows: the current folder is highlighted either way, so the frame tells.
        const QImage unfocused = dir1->grab().toImage();
        dir1->setFocus();
        QTRY_VERIFY(dir1->hasFocus());
        QVERIFY(dir1->grab().toImage().pixel(0, dir1->height() / 2) != unfocused.pixel(0, dir1->height() / 2));
        QTest::keyClicks(dir1, "be");
        QCOMPARE(dir1->currentItem()->text(), QStringLiteral("beta"));
        QTest::keyClick(dir1, Qt::Key_Return);
        QCOMPARE(w.edit("Text1")->text(), w.root + "/beta");
    }

    void openingASubfolderWritesOnlyItsOwnTextBox()
    {
        Pickers w;
        w.dir("Dir1")->setPath(w.root);
        w.edit("Text2")->setText(QStringLiteral("typed destination"));
        w.doubleClick(w.dir("Dir1"), QStringLiteral("alpha"));
        QCOMPARE(w.dir("Dir1")->path(), w.root + "/alpha");
        QCOMPARE(w.edit("Text1")->text(), w.root + "/alpha");
        QCOMPARE(w.edit("Text2")->text(), QStringLiteral("typed destination"));

        w.dir("Dir2")->setPath(w.root);
        w.doubleClick(w.dir("Dir2"), QStringLiteral("beta"));
        QCOMPARE(w.edit("Text2")->text(), w.root + "/beta");
        QCOMPARE(w.edit("Text1")->text(), w.root + "/alpha");
    }

    void openingAnAncestorAndTheRoot()
    {
        Pickers w;
        w.dir("Dir1")->setPath(w.root + "/alpha/inner");
        w.doubleClick(w.dir("Dir1"), QDir(w.root).dirName());
        QCOMPARE(w.edit("Text1")->text(), w.root);
        w.doubleClick(w.dir("Dir1"), QStringLiteral("/"));
        QCOMPARE(w.edit("Text1")->text(), QStringLiteral("/"));
    }

    void aHighlightKeepsTypedTextUntilEnterOpens()
    {
        Pickers w;
        DirList* dir1 = w.dir("Dir1");
        dir1->setPath(w.root);
        w.edit("Text1")->setText(QStringLiteral("/typed/by/hand"));
        dir1->setFocus();
        QTest::keyClick(dir1, Qt::Key_Down); // onto "alpha"
        QCOMPARE(dir1->currentItem()->text().trimmed(), QStringLiteral("alpha"));
        QCOMPARE(w.edit("Text1")->text(), QStringLiteral("/typed/by/hand"));
        QTest::keyClick(dir1, Qt::Key_Down);
        QTest::keyClick(dir1, Qt::Key_Return);
        QCOMPARE(w.edit("Text1")->text(), w.root + "/beta");
    }

    void anUnreadableFolderKeepsThePreviousState()
    {
        Pickers w;
        DirList* dir1 = w.dir("Dir1");
        dir1->setPath(w.root);
        w.edit("Text1")->setText(QStringLiteral("kept"));
        QVERIFY(::chmod(QFile::encodeName(w.root + "/alpha").constData(), 0) == 0);
        w.doubleClick(dir1, QStringLiteral("alpha"));
        ::chmod(QFile::encodeName(w.root + "/alpha").constData(), 0755);
        QCOMPARE(dir1->path(), w.root);
        QCOMPARE(w.edit("Text1")->text(), QStringLiteral("kept"));
        QVERIFY(!dir1->setPath(w.root + "/vanished"));
        QCOMPARE(dir1->path(), w.root);
    }

    void choosingADriveMovesToItsRoot()
    {
        Pickers w;
        DriveList* drive2 = w.get<DriveList>("Drive2");
        // A folder stands in for the root of a second drive.
        const QString stick = w.root + QStringLiteral("/alpha");
        drive2->addItem(stick);
        const int stickIndex = drive2->findText(stick);
        drive2->setCurrentIndex(stickIndex);
        emit drive2->activated(stickIndex);
        QCOMPARE(w.dir("Dir2")->path(), stick);
        QCOMPARE(w.edit("Text2")->text(), stick);
        const int rootIndex = drive2->findText(QStringLiteral("/"));
        QVERIFY(rootIndex >= 0);
        drive2->setCurrentIndex(rootIndex);
        emit drive2->activated(rootIndex);
        QCOMPARE(w.dir("Dir2")->path(), QStringLiteral("/"));
        QCOMPARE(w.edit("Text2")->text(), QStringLiteral("/"));
        QCOMPARE(w.edit("Text1")->text(), QString());

        // The drive already chosen, chosen again, leaves the list and a typed path alone.
        w.dir("Dir2")->setPath(w.root);
        w.edit("Text2")->setText(QStringLiteral("/typed/by/hand"));
        emit drive2->activated(rootIndex);
        QCOMPARE(w.dir("Dir2")->path(), w.root);
        QCOMPARE(w.edit("Text2")->text(), QStringLiteral("/typed/by/hand"));
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestFolderPickers)
#include "tst_folderpickers.moc"
