#pragma once

// Registers the compiled-in images and style sheets (":/images/...", ":/styles/...").
void zebInitResources();
