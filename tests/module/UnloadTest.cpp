// Loading and unloading the module as a host does, in a process that does not
// link it: the module adopts the host's application object when asked to open
// its task and puts its own back when it is unloaded.
#include "module/public/UpdateDbTask.h"

#include "model/ProgressWindow.h"

#include <QtTest>

#include <dlfcn.h>

class UnloadTest : public QObject {
    Q_OBJECT
private slots:
    void UnloadingPutsTheModulesApplicationObjectBack();
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

QTEST_MAIN(UnloadTest)
#include "UnloadTest.moc"
