#include "ai/runtime/sound_manager.h"

#include "ai/runtime/attribute.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host.h"
#include "ai/runtime/world.h"

#include <cmath>
#include <cstring>
#include <new>

namespace Zelk {

namespace {

CSoundManager* g_instance = nullptr;

// In the order of the reservation arrays.
constexpr uint32_t kKinds[CSoundManager::kKindCount] = {
    kSoundCombat, kSoundWorld, kSoundPlayer, kSoundDanger, kSoundCarcass, kSoundMeat, kSoundGarbage};
constexpr const char* kReservationKeys[CSoundManager::kKindCount] = {
    "NbReservedSoundsCombat",  "NbReservedSoundsWorld", "NbReservedSoundsPlayer", "NbReservedSoundsDanger",
    "NbReservedSoundsCarcass", "NbReservedSoundsMeat",  "NbReservedSoundsGarbage"};

CGlobalService* CreateSoundManager()
{
    return new CSoundManager;
}

// i^2 / d^2, from the integer i^2; a sound at the listener is infinitely loud (0 when silent).
float Loudness(const CWorldSound& sound, const CVec3& at)
{
    float d2 = CVec3::SquaredDistance(sound.position, at);
    float i2 = static_cast<float>(static_cast<int64_t>(sound.intensity) * sound.intensity);
    if (d2 == 0.0f) {
        return i2 > 0.0f ? HUGE_VALF : 0.0f;
    }
    return i2 / d2;
}

// Heard at that loudness by a listener of hearing range h (any loudness without one).
bool LoudEnough(const CEntity* listener, float loudness)
{
    if (!(loudness > 0.0f)) {
        return false;
    }
    auto* hearing = listener->GetAttribute<CEntityHearingAcuteness>();
    if (!hearing) {
        return true;
    }
    float h = hearing->GetValue();
    return 1.0f / loudness < h * h;
}

int32_t TeamSide(const CEntity* entity)
{
    auto* side = entity ? entity->GetAttribute<CEntityTeamSide>() : nullptr;
    return side ? side->GetValue() : -1;
}

} // namespace

CGlobalServiceClassRecord CSoundManager::s_classRecord("CSoundManager", &CreateSoundManager, nullptr, true,
                                                       false);

void CSoundManager::FreeSlots()
{
    for (int32_t i = 0; m_slots && i < m_slotCount; ++i) {
        m_slots[i].~CWorldSound();
    }
    AiFree(m_slots);
    m_slots = nullptr;
    m_slotCount = 0;
}

CSoundManager::~CSoundManager()
{
    FreeSlots();
    if (g_instance == this) {
        g_instance = nullptr;
    }
}

CSoundManager* CSoundManager::GetInstance()
{
    return g_instance;
}

int CSoundManager::KindIndex(uint32_t kind)
{
    for (int i = 0; i < kKindCount; ++i) {
        if (kKinds[i] == kind) {
            return i;
        }
    }
    return -1;
}

bool CSoundManager::Init(CConfigNode* node)
{
    m_max = 64;
    for (int32_t& r : m_reserved) {
        r = 1;
    }
    m_lastUpdate = AiClockNow();
    if (!node || !CGlobalService::Init(node) || !IsConfigValid()) {
        return false;
    }
    FreeSlots();
    m_slots = static_cast<CWorldSound*>(AiAlloc(sizeof(CWorldSound) * m_max));
    if (!m_slots) {
        return false;
    }
    for (int32_t i = 0; i < m_max; ++i) {
        ::new (&m_slots[i]) CWorldSound{}; // its vectors are polymorphic: construct them
    }
    m_slotCount = m_max;
    Reset();
    g_instance = this;
    return true;
}

bool CSoundManager::ReadParameter(CConfigNode* node)
{
    if (!node || !node->GetKey() || !node->GetValue()) {
        return false;
    }
    if (std::strcmp(node->GetKey(), "MaxWorldSounds") == 0) {
        m_max = ConfigToInt(node->GetValue());
        return true;
    }
    for (int i = 0; i < kKindCount; ++i) {
        if (std::strcmp(node->GetKey(), kReservationKeys[i]) == 0) {
            m_reserved[i] = ConfigToInt(node->GetValue());
            return true;
        }
    }
    return false;
}

bool CSoundManager::IsConfigValid() const
{
    int64_t sum = 0;
    for (int32_t r : m_reserved) {
        if (r < 0) {
            return false;
        }
        sum += r;
    }
    return m_max >= 1 && sum <= m_max;
}

void CSoundManager::Reset()
{
    for (int32_t i = 0; i < m_slotCount; ++i) {
        m_slots[i] =
            CWorldSound{CVec3(0.0f, 0.0f, 0.0f), nullptr, 0, 0, 0.0f, i + 1 < m_slotCount ? i + 1 : -1};
    }
    m_freeHead = m_slotCount > 0 ? 0 : -1;
    m_activeHead = -1;
    for (int32_t& c : m_current) {
        c = 0;
    }
}

void CSoundManager::Start()
{
    m_lastUpdate = AiClockNow();
    Reset();
}

void CSoundManager::Update()
{
    float now = AiClockNow();
    if (now == m_lastUpdate) {
        return;
    }
    int32_t previous = -1;
    for (int32_t i = m_activeHead; i >= 0;) {
        int32_t next = m_slots[i].next;
        float expiry = m_slots[i].expiry;
        if (expiry != -1.0f && !(expiry > now)) {
            RemoveSound(i, previous);
        } else {
            previous = i;
        }
        i = next;
    }
    m_lastUpdate = now;
}

int32_t CSoundManager::AllocSound(uint32_t kind)
{
    Update();
    int k = KindIndex(kind);
    if (!m_slots || m_freeHead < 0 || k < 0) {
        return -1;
    }
    if (m_current[k] >= m_reserved[k]) {
        // Beyond its reservation a kind may only use what the others' reservations leave.
        int64_t claimed = 0;
        for (int i = 0; i < kKindCount; ++i) {
            claimed += m_reserved[i] > m_current[i] ? m_reserved[i] : m_current[i];
        }
        if (claimed >= m_max) {
            return -1;
        }
    }
    int32_t index = m_freeHead;
    m_freeHead = m_slots[index].next;
    m_slots[index].next = m_activeHead;
    m_activeHead = index;
    ++m_current[k];
    return index;
}

bool CSoundManager::AddSound(uint32_t kind, const CVec3& position, int32_t intensity, float duration,
                             CEntity* emitter)
{
    int32_t index = AllocSound(kind);
    if (index < 0) {
        return false;
    }
    CWorldSound& s = m_slots[index];
    s.position = position;
    s.emitter = emitter;
    s.kind = kind;
    s.intensity = intensity;
    s.expiry = AiClockNow() + duration;
    return true;
}

bool CSoundManager::EmitWorldSound(float x, float y, float z, uint32_t kind, int32_t intensity,
                                   float duration, const char* emitterName)
{
    if (!g_instance) {
        return false;
    }
    CWorld* world = GetCurrentWorld();
    CEntity* emitter = world && emitterName ? world->FindEntity(emitterName) : nullptr;
    return g_instance->AddSound(kind, CVec3(x, y, z), intensity, duration, emitter);
}

void CSoundManager::RemoveSound(int32_t index, int32_t previous)
{
    if (!m_slots || index < 0 || index >= m_slotCount) {
        return;
    }
    CWorldSound& s = m_slots[index];
    if (previous < 0) {
        m_activeHead = s.next;
    } else {
        m_slots[previous].next = s.next;
    }
    s.next = m_freeHead;
    m_freeHead = index;
    int k = KindIndex(s.kind);
    if (k >= 0 && m_current[k] > 0) {
        --m_current[k];
    }
}

int32_t CSoundManager::GetSoundCount(int mode)
{
    Update();
    int32_t present = 0;
    for (int32_t c : m_current) {
        present += c;
    }
    return mode == 1 ? m_max - present : (mode == 2 ? present : 0);
}

const CWorldSound* CSoundManager::GetSound(int32_t index) const
{
    return m_slots && index >= 0 && index < m_slotCount ? &m_slots[index] : nullptr;
}

bool CSoundManager::CanHear(const CEntity* listener, const CWorldSound& sound) const
{
    if (!listener || !(sound.expiry > AiClockNow())) {
        return false;
    }
    if (CVec3::SquaredDistance(sound.position, listener->GetPosition()) == 0.0f) {
        return sound.intensity > 0;
    }
    return LoudEnough(listener, Loudness(sound, listener->GetPosition()));
}

bool CSoundManager::IsEntityHeard(const CEntity* listener, const CEntity* emitter)
{
    Update();
    for (int32_t i = m_activeHead; i >= 0; i = m_slots[i].next) {
        if (m_slots[i].emitter == emitter && CanHear(listener, m_slots[i])) {
            return true;
        }
    }
    return false;
}

CEntity* CSoundManager::FindLoudest(const CEntity* listener, bool enemiesOnly)
{
    Update();
    if (!listener) {
        return nullptr;
    }
    int32_t side = TeamSide(listener);
    if (enemiesOnly && side == -1) {
        return nullptr;
    }
    float best = 0.0f;
    CEntity* loudest = nullptr;
    for (int32_t i = m_activeHead; i >= 0; i = m_slots[i].next) {
        const CWorldSound& s = m_slots[i];
        if (!s.emitter || s.emitter == listener) {
            continue;
        }
        if (enemiesOnly) {
            int32_t other = TeamSide(s.emitter);
            if (other == -1 || other == side) {
                continue;
            }
        }
        float loudness = Loudness(s, listener->GetPosition());
        if (loudness > best) {
            best = loudness;
            loudest = s.emitter;
        }
    }
    if (!loudest) {
        return nullptr;
    }
    auto* hearing = listener->GetAttribute<CEntityHearingAcuteness>();
    if (hearing && 1.0f / best >= hearing->GetValue() * hearing->GetValue()) {
        return nullptr;
    }
    return loudest;
}

CEntity* CSoundManager::FindLoudestEmitter(const CEntity* listener)
{
    return FindLoudest(listener, false);
}

CEntity* CSoundManager::FindLoudestEnemyEmitter(const CEntity* listener)
{
    return FindLoudest(listener, true);
}

const CWorldSound* CSoundManager::FindLoudestSoundAt(const CVec3& point)
{
    Update();
    float best = 0.0f;
    bool atPoint = false;
    const CWorldSound* kept = nullptr;
    for (int32_t i = m_activeHead; i >= 0; i = m_slots[i].next) {
        const CWorldSound& s = m_slots[i];
        if (CVec3::SquaredDistance(s.position, point) == 0.0f) {
            float intensity = static_cast<float>(s.intensity);
            if (!atPoint || intensity > best) {
                best = intensity;
                atPoint = true;
                kept = &s;
            }
        } else if (!atPoint) {
            float loudness = Loudness(s, point);
            if (loudness > best) {
                best = loudness;
                kept = &s;
            }
        }
    }
    return kept;
}

int32_t CSoundManager::CollectAudibleSounds(const CEntity* listener, const CWorldSound** out,
                                            int32_t capacity, uint32_t kindMask)
{
    Update();
    if (capacity < 1 || !out || !listener) {
        return 0;
    }
    int32_t written = 0;
    for (int32_t i = m_activeHead; i >= 0 && written < capacity; i = m_slots[i].next) {
        const CWorldSound& s = m_slots[i];
        if (!(s.kind & kindMask)) {
            continue;
        }
        bool audible = CVec3::SquaredDistance(s.position, listener->GetPosition()) == 0.0f
                           ? s.intensity >= 1
                           : LoudEnough(listener, Loudness(s, listener->GetPosition()));
        if (audible) {
            out[written++] = &s;
        }
    }
    return written;
}

void CSoundManager::DrawSounds() const
{
    for (int32_t i = m_activeHead; i >= 0; i = m_slots[i].next) {
        HostDrawPoint(m_slots[i].position, 255, 255, 0);
    }
}

} // namespace Zelk
