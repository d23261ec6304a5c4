// zendal-editor: the windows over the libraries.
#include <QApplication>

#include "app/devices/Devices.h"
#include "control/ui/TformMain.h"
#include "effects/ui/TformFXInfo.h"
#include "effects/ui/TformImpulseResponse.h"
#include "link/D2XXUnit.h"
#include "params/ui/TformFXParameters.h"
#include "protocol/DeviceController.h"
#include "protocol/PedalConnection.h"
#include "shell/Prompt.h"
#include "shell/ui/ServiceTools.h"
#include "shell/ui/TformPrint.h"

int main(int argc, char** argv) {
    using namespace zendal;
    prepareDescriptionViewEnvironment();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zendal Editor"));
    QApplication::setQuitOnLastWindowClosed(false);

    // The one link to the pedal; every window talks through it.
    PedalConnection connection;
    connection.makeProcessPort();
    D2XXUnit& port = connection.unit();
    // Port failures, while they are to be shown, are shown as boxes.
    port.setErrorSink([](const QString& text) { prompt().information(text); });
    Devices devices;
    devices.installInto(port);
    // What the editor knows about the pedal; every window follows it.
    DeviceController device(connection);

    // In the order the editor has always created them; all but the main window
    // start hidden. The firmware upgrade window and the new-version window
    // belong to the main window's upgrade controller and update check.
    TformMain main(connection, device);
    main.setVirtualPedalToggle([&devices](bool on) { devices.setVirtualPedalEnabled(on); },
                               devices.virtualPedalEnabled());

    TformPrint console;
    auto* tools = new ServiceToolsPanel;
    tools->setWriteGuard([&main] { return main.whyNotWrite(); });
    console.setServicePanel(tools);
    main.attachConsole(&console);

    TformFXParameters parameters(device);
    main.attachParameterWindow(&parameters);

    TformFXInfo description(device);
    main.setFxInfoHandler([&] { description.showDescription(parameters.frameGeometry()); });
    QObject::connect(&main, &TformMain::effectChosen, &description, [&] {
        if (description.isVisible()) description.showDescription(parameters.frameGeometry());
    });

    TformImpulseResponse impulseResponse(device);
    main.setLoadIrHandler([&] { impulseResponse.menuLoadIRClick(); });

    QObject::connect(&main, &TformMain::mainClosed, &app, &QApplication::quit);
    main.show();
    const int code = app.exec();
    port.setErrorSink(nullptr);
    return code;
}
