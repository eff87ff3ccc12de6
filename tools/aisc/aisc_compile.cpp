#include "tools/aisc/aisc_compile.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"

namespace Zelk {

namespace {

void CollectWarning(const char* text, void* user)
{
    static_cast<CAiscResult*>(user)->warnings.emplace_back(text);
}

} // namespace

bool AiscCompile(const char* text, std::size_t size, AisRawDataProvider provider, void* user,
                 CAiscResult& result)
{
    result = CAiscResult{};
    CConfigNode root;
    CConfigError error;
    if (!ParseConfigText(text, size, &root, &error)) {
        result.line = error.line;
        result.error = error.message;
        return false;
    }
    CheckRawDataOrder(&root, &CollectWarning, &result);
    return AisWriteTree(root, provider, user, &result.file, &result.error, &result.warnings);
}

} // namespace Zelk
