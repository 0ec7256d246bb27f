// The combined window as the engine's window set reaches it: the window is made when it is shown
// (or its pane asked for) and destroyed once its close has run. User-interface thread only.
#pragma once

#include "app/windows/combined_window.h"
#include "app/windows/view_host.h"

#include <QObject>
#include <QPointer>

namespace pellucor {

class CombinedWindows : public QObject, public CombinedHost
{
    Q_OBJECT

public:
    explicit CombinedWindows(CombinedServices services, QObject* parent = nullptr);
    ~CombinedWindows() override;

    void showCombined() override;
    void unloadCombined() override;
    DrawTarget combinedPane(int slot) override;
    void combinedFormResize() override;
    void combinedRefreshPane(int slot) override;
    void combinedShowMotionText(bool on) override;
    void combinedRecordGrayBTN(int slot) override;
    void combinedRefrushStatusBar(int slot) override;
    void combinedPutActiveBorder(int slot) override;
    void combinedRefrushShowClrCtl(int slot) override;
    void combinedRefrushListCtl(int slot) override;
    void combinedRefrushClrCtlBtn(int slot) override;
    bool combinedEventListShown() override;
    void addToCombined(const std::string& header, const std::string& message) override;
    void combinedShowButton(int row, int image) override;

    // The window, or nullptr when it is not loaded.
    CombinedWindow* window() const { return m_window.data(); }

private:
    CombinedWindow& ensure();

    CombinedServices m_services;
    QPointer<CombinedWindow> m_window;
};

} // namespace pellucor
