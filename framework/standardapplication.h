#pragma once
// CStandardApplication: the framework's application object, the base from
// which a game derives its own. It answers the shell's events (OnEvent):
// opens the engine at 640 x 480 with the game's title (16), attaches the
// plug-ins (9), starts the engine, reads "config.xml", makes default lights
// and the font (13), runs one Update and one Render per idle event (18) and
// tears everything down (14). A game overrides the pure operations; the
// configuration elements inside "Application" reach its OnXmlStartElement
// and OnXmlEndElement.
//
// Configuration errors are shown in an error box (ReportEngineError), which
// sets the halt flag: the window keeps answering events, but no further frame
// is updated or drawn.
#include <cstdint>
#include <vector>

#include "framework/configsection.h"
#include "graphics/shared/skel/win/shellevent.h"
#include "platform/win32/win32.h"

struct Raster;
using Charset = Raster;
class CInteractiveObject;
class CLight;
class CPhysicsWorld;

/// Watches the configuration reader's dispatch (for tools and tests).
class CConfigObserver
{
  public:
    virtual ~CConfigObserver() = default;
    /// A top-level element went through the dispatch; `answer` is the handler's.
    virtual void OnDispatched(const char* element, bool answer) = 0;
    /// A section (a receiver, or the graphics settings) opened at `element`.
    virtual void OnSectionOpened(const char* element) = 0;
    /// The section opened at `element` closed at its end.
    virtual void OnSectionClosed(const char* element) = 0;
};

class CStandardApplication
{
  public:
    /// `configFile` names the configuration (not copied; it must outlive the object).
    explicit CStandardApplication(const char* configFile);
    CStandardApplication(const CStandardApplication&) = delete;
    CStandardApplication& operator=(const CStandardApplication&) = delete;

    /// An element start inside "Application"; the base answers true.
    virtual bool OnXmlStartElement(const char* element, const char** attributes);
    /// An element end inside "Application"; the base answers true.
    virtual bool OnXmlEndElement(const char* element);
    virtual ~CStandardApplication();
    /// The game's start-up, after the framework's (its answer is not looked at).
    virtual bool OnInitialize() = 0;
    /// The game's part of a frame; `step` in seconds (capped at 0.0333 or the fixed step).
    virtual bool OnUpdate(float step) = 0;
    /// The game's drawing inside the frame.
    virtual void OnRender() = 0;
    /// The game's shutdown, before the framework's.
    virtual bool OnTerminate() = 0;
    /// The window title (must outlive the window).
    virtual const char* GetTitle() = 0;
    /// The framework's answer to a shell event (1 handled, 0 failed, 2 not handled).
    virtual ShellEventResult OnEvent(ShellEvent event, void* parameter);

    /// Keeps the window handle and its instance.
    void SetHWND(HWND window);
    /// With `fixed` set every frame's step is `step` seconds, whatever the clock says.
    void SetFixedStep(bool fixed, float step);
    /// Sets the halt flag and shows `text` in the framework's error box
    /// (caption kFrameworkErrorCaption, MB_ICONERROR); defined in framework.cpp.
    static void ReportEngineError(const char* text);

    /// Event 16: the shell's initialisation, 640 x 480 unless set, the title. False on failure.
    bool OpenEngine();
    /// Event 9: each plug-in attach in order; false at the first failure.
    static bool AttachPlugins();
    /// Event 13: engine start, configuration, default lights, font. False
    /// when the engine does not start.
    bool Initialize(HWND window);
    /// Event 14: every framework object destroyed, then the engine stopped. True.
    bool Terminate();
    /// One frame (event 18): the step, the game's update, then Render. Nothing while halted.
    void Update();
    /// Draws the frame.
    void Render();
    /// Reads the configuration file (see configuration.cpp for the dispatch).
    void LoadConfiguration();
    /// The dispatch of one element start or end; answers are not used by the reader.
    bool StartElement(const char* element, const char** attributes);
    bool EndElement(const char* element);

    /// Sets the reader's observer (null: none); not owned.
    void SetConfigObserver(CConfigObserver* observer) { m_observer = observer; }

    float GetScale() const { return m_scale; }
    uint32_t GetResourceArenaSize() const { return m_arenaSize; }
    Charset* GetCharset() const { return m_charset; }
    CLight* GetDefaultLight(int32_t index) const { return index == 0 ? m_defaultLight1 : m_defaultLight2; }
    /// Seconds of the last frame as measured (not capped), for the frame counter.
    float GetLastElapsed() const { return m_lastElapsed; }
    /// The last frame's step in seconds.
    float GetLastStep() const { return m_lastStep; }

  private:
    // Elements that the top-level dispatch handles (configuration.cpp).
    bool OpenGraphicsSettings(const char** attributes);
    bool OpenWorlds(const char** attributes);
    bool ReadDebug(const char** attributes);
    bool ReadScale(const char** attributes);
    bool OpenApplication(const char** attributes);
    bool OpenInput(const char** attributes);
    bool OpenHud(const char** attributes);
    bool OpenCamera(const char** attributes);
    bool OpenCharacter(const char** attributes);
    bool OpenLight(const char** attributes);
    /// The end of a "Light": the physics world takes the light read (or it is deleted).
    void CloseLight();
    /// A piece of level furniture of type Kind, read from its element and
    /// handed to the physics world's adder for its kind.
    template <typename Kind, bool (CPhysicsWorld::*Add)(CInteractiveObject*)>
    bool ReadFurniture(const char** attributes);
    bool OpenDynamicModels(const char** attributes);
    bool OpenIgnoredSection(const char** attributes);
    bool IgnoreElement(const char** attributes);
    void OpenSection(CConfigSection* receiver);

    struct TopLevelElement
    {
        const char* name;
        bool (CStandardApplication::*handle)(const char** attributes);
    };
    static const TopLevelElement kTopLevelElements[];

    /// Forwards a section's elements to the game's OnXmlStartElement and OnXmlEndElement.
    class ApplicationSection : public CConfigSection
    {
      public:
        explicit ApplicationSection(CStandardApplication* application) : m_application(application) {}
        bool OnStart(const char* element, const char** attributes) override;
        bool OnEnd(const char* element) override;

      private:
        CStandardApplication* m_application;
    };
    /// Swallows a section whose receiver the framework does not have.
    class IgnoredSection : public CConfigSection
    {
      public:
        bool OnStart(const char*, const char**) override { return true; }
        bool OnEnd(const char*) override { return true; }
    };

    CConfigSection* m_receiver = nullptr;
    bool m_fixedStep = false;
    float m_fixedStepValue = 0.0f;
    uint32_t m_arenaSize = 0x800000;
    const char* m_configFile;
    float m_scale = 1.0f;
    CLight* m_defaultLight1 = nullptr;
    CLight* m_defaultLight2 = nullptr;
    CLight* m_lastLight = nullptr;           ///< the "Light" being read
    std::vector<CLight*> m_configuredLights; ///< read and added to the physics world
    Charset* m_charset = nullptr;
    uint8_t m_charsetForeground[4] = {200, 200, 200, 255};
    uint8_t m_charsetBackground[4] = {64, 64, 64, 0};
    bool m_firstFrame = true;
    uint32_t m_lastFrameTime = 0;

    // Element depth of the reader: a section closes only at the end of the
    // element that opened it, so a nested element named like a section
    // (a "Light" inside "Camera") neither closes it nor acts as its end.
    uint32_t m_depth = 0;
    uint32_t m_sectionDepth = 0;
    uint32_t m_graphicsSettingsDepth = 0;
    bool m_sectionIsApplication = false;
    ApplicationSection m_applicationSection{this};
    IgnoredSection m_ignoredSection;

    CConfigObserver* m_observer = nullptr;
    float m_lastElapsed = 0.0f;
    float m_lastStep = 0.0f;
};
