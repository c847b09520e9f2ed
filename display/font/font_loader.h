// Loading the built-in fonts into the NTCIP font table. The database calls
// the loader through g_builtin_font_loader (CDataBase::LoadFont); start-up
// installs it with display_fonts_install() before the database loads its
// defaults.
#pragma once

class CDataBase;

// Sets g_builtin_font_loader to display_fonts_load.
void display_fonts_install();

// Writes the built-in font `name` into font slot `slot` (0..19): number,
// height, spacings, name, every character's width and bitmap, the special
// glyphs of slots 0 and 1 when the feature set asks for them, then the
// font's version ID. 1 on success; 0 (slot untouched) when the font can't
// be loaded.
int display_fonts_load(CDataBase& db, const char* name, int slot);
