#pragma once
// State shared by the renderer's files (private to the renderer).

/// Gives every restore-list node back and destroys the list's free list.
void RendererRestoreListClose();
