#include "tools/scenebuild/nameonlytexture.h"

#include "graphics/core/texture.h"

Texture* SceneNameOnlyTexture(const char* name, const char* maskName)
{
    Texture* texture = TextureCreate(nullptr);
    if (texture) {
        TextureSetName(texture, name);
        if (maskName)
            TextureSetMaskName(texture, maskName);
    }
    return texture;
}
