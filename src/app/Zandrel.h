#pragma once

#include "app/Controls.h"
#include "platform/Platform.h"

#include <QWidget>
#include <atomic>
#include <functional>

class QFrame;

namespace zandrel {

class CameraTally;

// The one window of the program. Its controls hold all state; each handler is
// defined in the folder of its subsystem.
class Zandrel : public QWidget {
    Q_OBJECT

public:
    explicit Zandrel(Platform platform, QWidget* parent = nullptr);
    ~Zandrel() override;

    // Runs the load, centres the window on the screen and shows it (app/FormLoad.cpp).
    void Start();

    // Handlers, also called directly by other procedures; each comment names the
    // file below src/ that defines it.
    void Form_Load();         // app/FormLoad.cpp
    void Refresh1_Click();    // readiness/Refresh1.cpp: readiness check
    void start_Click();       // copyrun/StartClick.cpp: copy run
    void sAutodatum_Click();  // readiness/DateSubfolder.cpp: date subfolder name
    void sSet_Click();        // settings/SettingsEditing.cpp: settings editing switch
    void SETcamera_Click();   // settings/SettingsEditing.cpp: save the folders
    void sOpen_Click();       // settings/SettingsEditing.cpp: store the open-afterwards choice
    void Fotoboek_Click();    // app/ControlGroups.cpp: open the photo folder
    void sPreview_Click();    // app/ControlGroups.cpp: preview switch
    void Versie_Click();      // about/Versie.cpp: version information

    // Procedures that several handlers share.
    void DisableControls();                // app/ControlGroups.cpp
    void EnableControls();                 // app/ControlGroups.cpp
    void OpenFolder(const QString& path);  // app/ControlGroups.cpp
    void RecountCamera();                  // copyrun/RecountCamera.cpp
    void LoadSettings();                   // settings/LoadSettings.cpp

    const Platform& platform() const { return platform_; }
    bool copyRunActive() const { return run_.active; }

    // The controls, by their names, in tab order.
    Label Camerpath;
    TextBox Cpath;
    TextBox Fpath;
    CommandButton SETcamera;
    Label MB;
    CommandButton Refresh1;
    Label Message;
    Label Stoplicht;
    CheckBox sDel;
    CheckBox sAutodatum;
    Label Label1;
    Label Label2;
    TextBox sFolder;
    CheckBox sSet;
    CommandButton start;
    zandrel::ProgressBar ProgressBar;
    Label procent;
    Label Label3;
    Label sAantal;
    Label sMB;
    CheckBox sPreview;
    Label sFotoaan;
    CommandButton Fotoboek;
    Label Allemaal;
    CheckBox sOpen;
    Label Label4;
    Label Label5;
    CommandButton Versie;
    Image Image1;
    Control Line1;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void connectEvents();
    void linkCaptions();  // captions that tick their box and name their control
    // Runs a handler for an event; a platform failure is told to the user and
    // the window stays usable.
    void runHandler(void (Zandrel::*handler)());
    void reportFailure(const QString& what);

    // The copy run's own bookkeeping for the one run that may be under way.
    struct RunState {
        bool active = false;
        bool closing = false;  // the window was closed during the run
        // Ends the run; read by every thread of the run (CopyRun).
        std::atomic<bool> stop{false};
    };

    Platform platform_;
    RunState run_;
    // RecountCamera's running figures between two real counts: the running
    // copy run's own, none outside a run.
    CameraTally* tally_ = nullptr;
};

}  // namespace zandrel
