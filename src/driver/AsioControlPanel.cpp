// controlPanel: run the settings program, wait for it, and apply what it changed.

#include "driver/AsioVelmora.h"
#include "driver/Guarded.h"
#include "driver/IniFile.h"
#include "log/LogLine.h"
#include "platform/Process.h"

ASIOError AsioVelmora::controlPanel() {
    return guarded(ASE_NotPresent, [&]() -> ASIOError {
        IniFile before;
        before.load(settings.settingPath);

        platform::ChildProcess panel;
        if (!panel.launch(settings.controlPanelPath)) {
            LogLine(6) << settings.controlPanelPath << " ERROR";
            return ASE_NotPresent;
        }
        LogLine(6) << settings.controlPanelPath;
        panel.wait();

        // A driver reading the factory file in place (nothing saved yet) takes the per-user file
        // that the panel has just saved; that counts as a change.
        const bool moved = settings.readOnlyFallback && settings.relocate();
        IniFile after;
        after.load(settings.settingPath);
        if (!moved && before.sameContent(after)) return ASE_OK;

        if (!settings.readKeys()) return ASE_NotPresent;
        initialised = false;
        // The host receives init's own result: 1 when the driver came up again.
        return static_cast<ASIOError>(init(hostWindow));
    });
}
