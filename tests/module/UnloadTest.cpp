// Loading and unloading the module as a host does, in a process that does not
// link it: the module adopts the host's application object when asked to open
// its task and puts its own back when it is unloaded.
#include "module/public/UpdateDbTask.h"

#include "Serialaze/TextTreeView.h"
#include "model/ProgressWindow.h"
#include "model/n_proc.h"
#include "platform/text/Numbers.h"
#include "platform/text/StringList.h"
#include "tests/host/LocaleEnvironment.h"

#include <QtTest>

#include <dlfcn.h>

class UnloadTest : public QObject {
    Q_OBJECT
private slots:
    void UnloadingPutsTheModulesApplicationObjectBack();
    void LoadedInACommaLocaleTheModuleShowsCommasButWritesPoints();
};

void UnloadTest::UnloadingPutsTheModulesApplicationObjectBack() {
    host::RecordingMessageBoxPresenter boxes;
    host::Application hostApplication(0x500, &boxes);
    host::Application* atLoad = &host::CurrentApplication();

    void* library = dlopen(UPDATEDB_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(library, dlerror());
    QCOMPARE(&host::CurrentApplication(), atLoad);
    auto open = reinterpret_cast<MyMDIWindowFunc>(dlsym(library, "MyMDIWindow"));
    QVERIFY(open);
    // Without a connection the task cannot open, but the object is adopted.
    TaskContext context{nullptr, &hostApplication};
    QCOMPARE(open(0, &context), host::Handle(0));
    QCOMPARE(&host::CurrentApplication(), &hostApplication);
    QCOMPARE(boxes.shown.size(), size_t(1));
    QCOMPARE(QString::fromStdString(boxes.shown[0].text),
             QString("Извините, но задачу открыть нельзя."));

    QCOMPARE(dlclose(library), 0);
    QVERIFY2(!dlopen(UPDATEDB_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD), "the module is unloaded");
    QCOMPARE(&host::CurrentApplication(), atLoad);
    // The progress windows the module installed went with it.
    std::unique_ptr<ProgressWindow> window = CreateProgressWindow();
    window->Show();
    window->Close();
}

// The module takes the user's separator when it is loaded: texts for the user
// (the tree view) take it, XML keeps the point, and unloading puts the host's
// separator back.
void UnloadTest::LoadedInACommaLocaleTheModuleShowsCommasButWritesPoints() {
    testsupport::LocaleEnvironment locale;
    QVERIFY2(locale.Ready(), "the test locales were not made (package locales)");
    locale.Set("LC_ALL", "ru_RU.UTF-8");
    text::DecimalSeparatorGuard hostSeparator('.');
    void* library = dlopen(UPDATEDB_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(library, dlerror());
    QCOMPARE(text::DecimalSeparator(), ',');

    n_proc rate(3, 1.5, 2.25, 0, 0, 0, 0);
    serialaze::TextTreeView tree;
    rate.TreeView(tree, nullptr);
    const QString shown = QString::fromStdString(tree.Render());
    QVERIFY2(shown.contains("n_p = 1,5") && shown.contains("2,25"), qPrintable(shown));
    text::StringList xml;
    rate.Serialize(xml);
    const QString written = QString::fromStdString(xml.Text());
    QVERIFY2(written.contains("n_p=\"1.5\"") && written.contains("\"2.25\""), qPrintable(written));
    QCOMPARE(text::DecimalSeparator(), ',');

    QCOMPARE(dlclose(library), 0);
    QCOMPARE(text::DecimalSeparator(), '.');
}

QTEST_MAIN(UnloadTest)
#include "UnloadTest.moc"
