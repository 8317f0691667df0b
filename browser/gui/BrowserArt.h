#pragma once

// The pictures of the browser's windows, compiled into this library.
void initBrowserGuiResources();
