#pragma once

#include <QString>

class QObject;
class QWebEngineProfile;
class QWebEngineView;
class QWidget;

// The one browser profile of the program, named "Pagrim" and kept on disk, so
// that the login window's browser and the harvesting browser share cookies and a
// login made in one is in force in the other, also after a restart.
namespace pagrim::harvest {

// The shared profile, made on first use. It lives until the application's
// shutdown routines run, after every window (and so every page on it) is gone.
QWebEngineProfile* sharedBrowserProfile();

// Adds to QTWEBENGINE_CHROMIUM_FLAGS, before the application is made, what
// every browser of the program needs: pages shown in no view run their timers
// at full speed, so that the values scripts fill in come as soon as in a
// window.
void addBrowserFlags();

// The owner of pages of the shared profile that outlive their users for a
// while; it and they go before the profile.
QObject* retiredPages();

// A new view on the shared profile.
QWebEngineView* createSharedProfileView(QWidget* parent = nullptr);

// Tests: keeps the profile's storage and cache below folder instead of the
// user's data folder. Call it before the profile's first use.
void setBrowserProfileFolderForTesting(const QString& folder);

} // namespace pagrim::harvest
