// The global renderer and its frame engine, in one file so that the
// renderer is constructed before the adapter that refers to it.
#include "display/render/render.h"
#include "display/render/render_adapter.h"

CRender g_render;
render_adapter g_render_adapter(&g_render);
