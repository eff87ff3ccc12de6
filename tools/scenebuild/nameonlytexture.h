#pragma once
// A texture read callback for the tools that rewrite models and worlds: a
// texture a material names is kept by its name (and mask name) without a
// raster, so a rewrite keeps the reference whether or not the image is at
// hand. Install it with TextureSetReadCallback around the read.

struct Texture;

/// A texture named `name` (and `maskName` when given) without a raster; null without memory.
Texture* SceneNameOnlyTexture(const char* name, const char* maskName);
