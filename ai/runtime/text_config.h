// Text configurations: the tag language and the data source over files.
//
// Language: an element is <Key> or <Key "Name">, its content, and </Key>.
// Inside a tag the characters before the first blank are the key (at most 63),
// the characters between the next pair of double quotes the name (at most 511).
// The content is child elements or text; a leaf's value is the text exactly as
// it stands between its tags (no trimming). Only elements with children keep a
// name (the root always does). Text before the first tag is skipped; the whole
// text is at most 65,536 bytes. For a "RawData" leaf the value names a binary file.
#pragma once

#include "ai/runtime/data_source.h"

#include <cstddef>

namespace Zelk {

/// Where and why a text configuration was refused.
struct CConfigError
{
    int line = 0;           // 1-based line of the offending text, 0 when not tied to a line
    char message[160] = {}; // what was wrong
};

inline constexpr std::size_t kMaxConfigTextLength = 65536;
inline constexpr std::size_t kMaxConfigKeyLength = 63;
inline constexpr std::size_t kMaxConfigNameLength = 511;

/// Parses text (length bytes) into root: the root element gives root's key and name.
/// False on malformed text (missing '>', unterminated quote, mismatched closing tag, text
/// ending inside an element, empty, overlong key or name, text over 65,536 bytes); root then
/// holds what was parsed so far. error (optional) receives the line and reason.
bool ParseConfigText(const char* text, std::size_t length, CConfigNode* root, CConfigError* error = nullptr);

/// A data source over text files, read through the host's file functions.
class CTextConfigSource : public CDataSource
{
  public:
    /// Reads fileName (mode "rt") and parses it into root. False when the file cannot be
    /// opened, is empty or is malformed (then GetLastError tells why).
    bool Load(const char* fileName, CConfigNode* root);
    const CConfigError& GetLastError() const { return m_error; }

    /// Opens the file named by node's value (mode "rb"); false without value or file.
    bool OpenRawData(CConfigNode* node) override;
    uint32_t ReadRawData(CConfigNode* node, void* buffer, uint32_t size) override;
    void CloseRawData(CConfigNode* node) override;
    /// The size of the open file (seek to its end and back), 0 when unknown.
    uint32_t GetRawDataSize(CConfigNode* node) override;

  private:
    CConfigError m_error;
};

} // namespace Zelk
