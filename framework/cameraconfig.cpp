// The "Camera" section of "config.xml": clip planes, the switch sequence, the
// starting mode, the follow limits, the free camera's start and the fixed
// cameras. Attributes are read by position; a missing one shows its error box.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/cameramanager.h"
#include "framework/framelookat.h"
#include "framework/framework.h"
#include "framework/standardapplication.h"
#include "graphics/core/camera.h"
#include "graphics/core/frame.h"

namespace {

struct ModeWord
{
    const char* word;
    int32_t mode;
};
constexpr ModeWord kModeWords[] = {
    {"Free", CCameraManager::kFree}, {"Follow", CCameraManager::kFollow}, {"FPS", CCameraManager::kFps},
    {"Path", CCameraManager::kPath}, {"Fixed", CCameraManager::kFixed},
};

/// The mode named by `word`, or 0.
int32_t ModeFromWord(const char* word)
{
    for (const ModeWord& entry : kModeWords) {
        if (std::strcmp(word, entry.word) == 0)
            return entry.mode;
    }
    return 0;
}

/// Reads the float attribute `key` at position `k`; a missing one shows
/// "'key' attribute not found in 'section' section." and answers false.
bool ReadReported(const char** attributes, int32_t k, const char* key, const char* section, float* value)
{
    if (ReadFloatAttribute(key, AttributePair(attributes, k), value))
        return true;
    char text[160];
    std::snprintf(text, sizeof text, "'%s' attribute not found in '%s' section.\nPlease update your XML file",
                  key, section);
    CStandardApplication::ReportEngineError(text);
    return false;
}

/// The value of the first attribute when it is named `key`, else null.
const char* FirstValue(const char** attributes, const char* key)
{
    const char** pair = AttributePair(attributes, 0);
    if (!pair || !pair[0] || std::strcmp(pair[0], key) != 0) // pair[0] is null when there is no attribute
        return nullptr;
    return pair[1];
}

void CopyName(char* to, const char* from)
{
    std::snprintf(to, CCameraManager::kNameSize, "%s", from);
}

} // namespace

bool CCameraManager::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "Camera") == 0)
        return ReadCameraElement(attributes);
    if (std::strcmp(element, "SwitchSequence") == 0) {
        m_insideSequence = true;
        m_sequenceCount = 0;
        return true;
    }
    if (m_insideSequence && std::strcmp(element, "Mode") == 0) {
        int32_t mode = 0;
        if (!ReadMode(attributes, &mode,
                      "Unrecognized camera mode.\nPlease fix the 'SwitchSequence' section in your XML file"))
            return false;
        if (m_sequenceCount >= kMaxSequence) {
            CStandardApplication::ReportEngineError(
                "Too much camera modes.\nPlease increase MAX_CAMERA_MODES value");
            return false;
        }
        m_sequence[m_sequenceCount++] = mode;
        return true;
    }
    if (std::strcmp(element, "CameraMode") == 0) {
        const char* word = FirstValue(attributes, "mode");
        if (!word)
            return false;
        const int32_t mode = ModeFromWord(word);
        if (mode == 0) {
            CStandardApplication::ReportEngineError(
                "Unrecognized camera mode.\nPlease fix the 'CameraMode' section in your XML file");
            return false;
        }
        SetMode(mode);
        return true;
    }
    if (std::strcmp(element, "Follow") == 0)
        return ReadFollow(attributes);
    if (std::strcmp(element, "Free") == 0) {
        m_insideFree = true;
        return true;
    }
    if (std::strcmp(element, "Fixed") == 0) {
        m_insideFixed = true;
        std::snprintf(m_parseName, sizeof m_parseName, "Camera %d", int(m_fixedCount));
        return true;
    }
    if (m_insideFixed) {
        if (std::strcmp(element, "Name") == 0) {
            const char* name = FirstValue(attributes, "value");
            if (!name)
                return false;
            CopyName(m_parseName, name);
            return true;
        }
        if (std::strcmp(element, "Position") == 0)
            return ReadPoint(attributes, "Position", &m_parsePosition);
        if (std::strcmp(element, "Target") == 0)
            return ReadPoint(attributes, "Target", &m_parseTarget) && AddFixedCamera();
    }
    if (m_insideFree) {
        if (std::strcmp(element, "InitialPosition") == 0)
            return ReadInitialPosition(attributes);
        if (std::strcmp(element, "InitialTarget") == 0)
            return ReadInitialTarget(attributes);
    }
    return true;
}

bool CCameraManager::OnEnd(const char* element)
{
    if (std::strcmp(element, "Free") == 0) {
        m_insideFree = false;
    } else if (std::strcmp(element, "Fixed") == 0) {
        m_insideFixed = false;
    } else if (std::strcmp(element, "SwitchSequence") == 0) {
        m_insideSequence = false;
        if (m_sequenceCount == 0) {
            CStandardApplication::ReportEngineError(
                "Empty camera switch sequence.\nPlease fix the 'SwitchSequence' section in your XML file");
            return false;
        }
    }
    return true;
}

bool CCameraManager::ReadCameraElement(const char** attributes)
{
    // Clip planes at or behind the eye, or a far plane before the near one,
    // leave nothing to draw; so does a field of view of 0 or a half turn.
    // The camera changes only when all three are sound.
    float nearClip = m_nearClip, farClip = m_farClip, fov = m_fov;
    const bool halted = Framework().halt;
    if (!ReadReported(attributes, 0, "nearClip", "Camera", &nearClip) ||
        !ReadReported(attributes, 1, "farClip", "Camera", &farClip) ||
        !ReadReported(attributes, 2, "fov", "Camera", &fov) || (!halted && Framework().halt))
        return false;
    if (!(nearClip > 0.0f)) {
        ConfigRefuseValue("nearClip", AttributePair(attributes, 0)[1], "is not a distance above 0");
        return false;
    }
    if (!(farClip > nearClip)) {
        ConfigRefuseValue("farClip", AttributePair(attributes, 1)[1], "is not beyond the near clip");
        return false;
    }
    if (!(fov > 0.0f && fov < 180.0f)) {
        ConfigRefuseValue("fov", AttributePair(attributes, 2)[1],
                          "is not an angle between 0 and 180 degrees");
        return false;
    }
    m_nearClip = nearClip;
    m_farClip = farClip;
    m_fov = fov;
    if (m_camera) {
        CameraSetNearClipPlane(m_camera, m_nearClip);
        CameraSetFarClipPlane(m_camera, m_farClip);
    }
    return true;
}

bool CCameraManager::ReadMode(const char** attributes, int32_t* mode, const char* message) const
{
    const char* word = FirstValue(attributes, "value");
    if (!word)
        return false;
    *mode = ModeFromWord(word);
    if (*mode == 0) {
        CStandardApplication::ReportEngineError(message);
        return false;
    }
    return true;
}

bool CCameraManager::ReadFollow(const char** attributes)
{
    if (!ReadReported(attributes, 0, "minVAngle", "Follow", &m_minVAngle) ||
        !ReadReported(attributes, 1, "maxVAngle", "Follow", &m_maxVAngle))
        return false;
    if (!ReadReported(attributes, 2, "minDistance", "Follow", &m_minDistance))
        return false;
    m_minDistance *= m_scale;
    if (!ReadReported(attributes, 3, "maxDistance", "Follow", &m_maxDistance))
        return false;
    m_maxDistance *= m_scale;
    // The follow camera starts inside its limits, not only once the user
    // turns or zooms it.
    if (m_minVAngle <= m_maxVAngle)
        m_followPitch = std::clamp(m_followPitch, m_minVAngle, m_maxVAngle);
    if (m_minDistance <= m_maxDistance)
        m_followDistance = std::clamp(m_followDistance, m_minDistance, m_maxDistance);
    return true;
}

bool CCameraManager::ReadPoint(const char** attributes, const char* section, V3d* point) const
{
    return ReadReported(attributes, 0, "x", section, &point->x) &&
           ReadReported(attributes, 1, "y", section, &point->y) &&
           ReadReported(attributes, 2, "z", section, &point->z);
}

bool CCameraManager::AddFixedCamera()
{
    if (m_fixedCount >= kMaxFixedCameras) {
        CStandardApplication::ReportEngineError(
            "Too much fixed cameras.\nPlease increase MAX_FIXED_CAMERAS value");
        return false;
    }
    Frame* frame = FrameCreate();
    if (!frame)
        return false;
    FixedCamera& fixed = m_fixed[m_fixedCount];
    CopyName(fixed.name, m_parseName);
    fixed.frame = frame;
    FrameLookAt(frame, &m_parsePosition, &m_parseTarget);
    ++m_fixedCount;
    return true;
}

bool CCameraManager::ReadInitialPosition(const char** attributes)
{
    V3d position;
    if (!ReadPoint(attributes, "InitialPosition", &position))
        return false;
    if (Frame* frame = GetCameraFrame()) {
        FrameGetMatrix(frame)->pos = position;
        FrameUpdateObjects(frame);
    }
    return true;
}

bool CCameraManager::ReadInitialTarget(const char** attributes)
{
    V3d target;
    if (!ReadPoint(attributes, "InitialTarget", &target))
        return false;
    Frame* frame = GetCameraFrame();
    if (!frame)
        return true;
    const V3d position = FrameGetMatrix(frame)->pos;
    if (position.x == target.x && position.y == target.y && position.z == target.z)
        return false;
    FrameLookAt(frame, &position, &target);
    return true;
}
