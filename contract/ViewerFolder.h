// The viewer's virtual folder: the worker's setting falls back to this name, and the host recognises
// requests under it by the same one.
#pragma once

constexpr const char* DLSW_DEFAULT_VIRTUAL_FOLDER = "X-Dorvel";
