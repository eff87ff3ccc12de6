#include "ai/runtime/sound_manager.h"

#include "ai/runtime/attribute.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host.h"
#include "ai/runtime/world.h"

#include <cstring>
#include <limits>
#include <new>

namespace Zelk {

namespace {

struct SoundKindInfo
{
    uint32_t value;
    const char* key;
};

constexpr SoundKindInfo kKinds[] = {
#define ZELK_SOUND_KIND_INFO(name, value, key) {value, key},
    ZELK_SOUND_KINDS(ZELK_SOUND_KIND_INFO)
#undef ZELK_SOUND_KIND_INFO
};
static_assert(sizeof(kKinds) / sizeof(kKinds[0]) == kSoundKindCount, "one reservation per sound kind");

/// Reservation index of a kind value, -1 for anything that is not exactly one kind.
int KindIndex(uint32_t kind)
{
    for (int i = 0; i < kSoundKindCount; ++i) {
        if (kKinds[i].value == kind) {
            return i;
        }
    }
    return -1;
}

CSoundManager* g_manager = nullptr;

CGlobalService* CreateSoundManager()
{
    return new CSoundManager();
}

float Now()
{
    return GetFrameStartTime();
}

bool IsExpired(const CWorldSound& sound, float now)
{
    return sound.expiry != kSoundNeverExpires && !(sound.expiry > now);
}

/// The listener's hearing range per unit of intensity, or -1 without the attribute.
float HearingOf(const CEntity* listener)
{
    const auto* hearing = listener->GetAttribute<CEntityHearingAcuteness>();
    return hearing ? hearing->GetValue() : -1.0f;
}

int32_t SideOf(const CEntity* entity)
{
    const auto* side = entity ? entity->GetAttribute<CEntityTeamSide>() : nullptr;
    return side ? side->GetValue() : -1;
}

} // namespace

// The sound manager's record takes a class bit but does not add it to the class mask.
CGlobalServiceClassRecord CSoundManager::s_classRecord("CSoundManager", &CreateSoundManager, nullptr, true,
                                                       false);

CSoundManager::~CSoundManager()
{
    FreeTable();
    if (g_manager == this) {
        g_manager = nullptr;
    }
}

CSoundManager* CSoundManager::GetInstance()
{
    return g_manager;
}

void CSoundManager::FreeTable()
{
    if (m_sounds) {
        for (int32_t i = 0; i < m_maxSounds; ++i) {
            m_sounds[i].~CWorldSound();
        }
        AiFree(m_sounds);
        m_sounds = nullptr;
    }
}

bool CSoundManager::ReadParameter(CConfigNode* node)
{
    if (!node || !node->GetKey() || !node->GetValue()) {
        return false;
    }
    if (std::strcmp(node->GetKey(), "MaxWorldSounds") == 0) {
        m_maxSounds = ConfigToInt(node->GetValue());
        return true;
    }
    for (int i = 0; i < kSoundKindCount; ++i) {
        if (std::strcmp(node->GetKey(), kKinds[i].key) == 0) {
            m_reserved[i] = ConfigToInt(node->GetValue());
            return true;
        }
    }
    return false;
}

bool CSoundManager::IsConfigValid() const
{
    if (m_maxSounds < 1) {
        return false;
    }
    int64_t total = 0;
    for (int32_t reserved : m_reserved) {
        if (reserved < 0) {
            return false;
        }
        total += reserved;
    }
    return total <= m_maxSounds;
}

bool CSoundManager::Init(CConfigNode* node)
{
    FreeTable();
    m_maxSounds = 64;
    for (int32_t& reserved : m_reserved) {
        reserved = 1;
    }
    m_lastUpdate = Now();
    if (!node || !CGlobalService::Init(node) || !IsConfigValid()) {
        return false;
    }
    void* block = AiAlloc(sizeof(CWorldSound) * static_cast<std::size_t>(m_maxSounds));
    if (!block) {
        return false;
    }
    m_sounds = static_cast<CWorldSound*>(block);
    for (int32_t i = 0; i < m_maxSounds; ++i) {
        new (&m_sounds[i]) CWorldSound();
    }
    Reset();
    g_manager = this;
    return true;
}

void CSoundManager::Start()
{
    m_lastUpdate = Now();
    Reset();
}

void CSoundManager::Reset()
{
    for (int32_t i = 0; m_sounds && i < m_maxSounds; ++i) {
        m_sounds[i] = CWorldSound();
        m_sounds[i].next = i + 1 < m_maxSounds ? i + 1 : -1;
    }
    m_freeHead = m_sounds ? 0 : -1;
    m_activeHead = -1;
    for (int32_t& current : m_current) {
        current = 0;
    }
}

void CSoundManager::Update()
{
    const float now = Now();
    if (m_lastUpdate == now) {
        return;
    }
    int32_t previous = -1;
    int32_t index = m_activeHead;
    while (index != -1) {
        const int32_t next = m_sounds[index].next;
        if (IsExpired(m_sounds[index], now)) {
            RemoveSound(index, previous);
        } else {
            previous = index;
        }
        index = next;
    }
    m_lastUpdate = now;
}

int32_t CSoundManager::AllocSound(uint32_t kind)
{
    Update();
    const int kindIndex = KindIndex(kind);
    if (m_freeHead == -1 || kindIndex < 0) {
        return -1;
    }
    if (m_current[kindIndex] >= m_reserved[kindIndex]) {
        // Beyond its reservation a kind may only use slots that no reservation keeps.
        int64_t claimed = 0;
        for (int i = 0; i < kSoundKindCount; ++i) {
            claimed += m_current[i] > m_reserved[i] ? m_current[i] : m_reserved[i];
        }
        if (claimed >= m_maxSounds) {
            return -1;
        }
    }
    const int32_t index = m_freeHead;
    m_freeHead = m_sounds[index].next;
    m_sounds[index].next = m_activeHead;
    m_activeHead = index;
    ++m_current[kindIndex];
    return index;
}

bool CSoundManager::AddSound(uint32_t kind, const CVec3& position, int32_t intensity, float duration,
                             CEntity* emitter)
{
    const int32_t index = AllocSound(kind);
    if (index < 0) {
        return false;
    }
    CWorldSound& sound = m_sounds[index];
    sound.position = position;
    sound.emitter = emitter;
    sound.kind = kind;
    sound.intensity = intensity;
    sound.expiry = Now() + duration;
    return true;
}

bool CSoundManager::EmitWorldSound(float x, float y, float z, uint32_t kind, int32_t intensity,
                                   float duration, const char* emitterName)
{
    if (!g_manager) {
        return false;
    }
    CWorld* world = GetCurrentWorld();
    CEntity* emitter = world && emitterName ? world->FindEntity(emitterName) : nullptr;
    return g_manager->AddSound(kind, CVec3(x, y, z), intensity, duration, emitter);
}

bool CSoundManager::RemoveSound(int32_t index, int32_t previous)
{
    if (!m_sounds || index < 0 || index >= m_maxSounds) {
        return false;
    }
    // The caller's predecessor must be the real one, else unlinking would corrupt both lists.
    int32_t before = -1;
    int32_t at = m_activeHead;
    for (int32_t steps = 0; at != -1 && at != index && steps < m_maxSounds; ++steps) {
        before = at;
        at = m_sounds[at].next;
    }
    if (at != index || before != previous) {
        return false;
    }
    CWorldSound& sound = m_sounds[index];
    if (previous == -1) {
        m_activeHead = sound.next;
    } else {
        m_sounds[previous].next = sound.next;
    }
    sound.next = m_freeHead;
    m_freeHead = index;
    const int kindIndex = KindIndex(sound.kind);
    if (kindIndex >= 0 && m_current[kindIndex] > 0) {
        --m_current[kindIndex];
    }
    return true;
}

int32_t CSoundManager::GetSoundCount(int mode)
{
    Update();
    int32_t present = 0;
    for (int32_t current : m_current) {
        present += current;
    }
    if (mode == 1) {
        return m_maxSounds - present;
    }
    return mode == 2 ? present : 0;
}

CWorldSound* CSoundManager::GetSound(int32_t index) const
{
    return m_sounds && index >= 0 && index < m_maxSounds ? &m_sounds[index] : nullptr;
}

float CSoundManager::Loudness(const CEntity* listener, const CWorldSound& sound) const
{
    const double d2 = CVec3::SquaredDistance(sound.position, listener->GetPosition());
    const double i = sound.intensity;
    if (d2 == 0.0) {
        return sound.intensity > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    return static_cast<float>(i * i / d2);
}

bool CSoundManager::IsAudible(const CEntity* listener, const CWorldSound& sound) const
{
    if (CVec3::SquaredDistance(sound.position, listener->GetPosition()) == 0.0f) {
        return sound.intensity > 0;
    }
    const float loudness = Loudness(listener, sound);
    const float h = HearingOf(listener);
    if (h < 0.0f) {
        return loudness > 0.0f;
    }
    return loudness > 0.0f && 1.0f / loudness < h * h;
}

bool CSoundManager::CanHear(const CEntity* listener, const CWorldSound& sound) const
{
    if (!listener || IsExpired(sound, Now())) {
        return false;
    }
    return IsAudible(listener, sound);
}

bool CSoundManager::IsEntityHeard(const CEntity* listener, const CEntity* emitter)
{
    Update();
    for (int32_t i = m_activeHead; i != -1; i = m_sounds[i].next) {
        if (m_sounds[i].emitter == emitter && CanHear(listener, m_sounds[i])) {
            return true;
        }
    }
    return false;
}

CEntity* CSoundManager::FindLoudest(const CEntity* listener, int32_t enemyOfSide)
{
    if (!listener) {
        return nullptr;
    }
    float best = 0.0f;
    CEntity* loudest = nullptr;
    for (int32_t i = m_activeHead; i != -1; i = m_sounds[i].next) {
        const CWorldSound& sound = m_sounds[i];
        if (!sound.emitter || sound.emitter == listener) {
            continue;
        }
        if (enemyOfSide != -1) {
            const int32_t side = SideOf(sound.emitter);
            if (side == -1 || side == enemyOfSide) {
                continue;
            }
        }
        const float loudness = Loudness(listener, sound);
        if (loudness > best) {
            best = loudness;
            loudest = sound.emitter;
        }
    }
    const float h = HearingOf(listener);
    if (loudest && h >= 0.0f && !(1.0f / best < h * h)) {
        return nullptr;
    }
    return loudest;
}

CEntity* CSoundManager::FindLoudestEmitter(const CEntity* listener)
{
    Update();
    return FindLoudest(listener, -1);
}

CEntity* CSoundManager::FindLoudestEnemyEmitter(const CEntity* listener)
{
    Update();
    const int32_t side = SideOf(listener);
    return side == -1 ? nullptr : FindLoudest(listener, side);
}

const CWorldSound* CSoundManager::FindLoudestSoundAt(const CVec3& point)
{
    Update();
    double best = 0.0;
    bool atPoint = false;
    const CWorldSound* kept = nullptr;
    for (int32_t i = m_activeHead; i != -1; i = m_sounds[i].next) {
        const CWorldSound& sound = m_sounds[i];
        const double d2 = CVec3::SquaredDistance(sound.position, point);
        const double intensity = sound.intensity;
        if (d2 == 0.0) {
            if (!atPoint || intensity > best) {
                atPoint = true;
                best = intensity;
                kept = &sound;
            }
        } else if (!atPoint && intensity * intensity / d2 > best) {
            best = intensity * intensity / d2;
            kept = &sound;
        }
    }
    return kept;
}

int32_t CSoundManager::CollectAudibleSounds(const CEntity* listener, const CWorldSound** out,
                                            int32_t capacity, uint32_t kindMask)
{
    Update();
    if (!out || capacity < 1 || !listener) {
        return 0;
    }
    int32_t count = 0;
    for (int32_t i = m_activeHead; i != -1 && count < capacity; i = m_sounds[i].next) {
        if ((m_sounds[i].kind & kindMask) != 0 && IsAudible(listener, m_sounds[i])) {
            out[count++] = &m_sounds[i];
        }
    }
    return count;
}

void CSoundManager::DrawSounds() const
{
    AiDrawPointAdapter draw = AiGetSettings().drawPoint;
    if (!draw) {
        return;
    }
    for (int32_t i = m_activeHead; i != -1; i = m_sounds[i].next) {
        draw(m_sounds[i].position, 255, 255, 0);
    }
}

} // namespace Zelk
