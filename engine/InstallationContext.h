#pragma once
// What the installation controller reads of the application that runs it:
// the build configuration, the installer data and the tracker. The
// application hands it to the controller before the controller's thread
// starts; the objects outlive the controller. The controller's own thread
// reads them; the tracker pointer may change (tracking starts late), so it
// is read through its atomic each time.
#include <atomic>

class BuildConfig;
class InstallerDataStore;
class EventTracker;

struct InstallationContext {
    const BuildConfig* buildConfig = nullptr;
    const InstallerDataStore* installerData = nullptr;
    const std::atomic<EventTracker*>* tracker = nullptr;

    EventTracker* Tracker() const { return tracker ? tracker->load() : nullptr; }
};
