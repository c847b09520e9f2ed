// The start-up script SCRIPT.XML: object settings that the controller
// applies once, at the start after a full factory reset or after a reset
// that asked for it (bit 0 of mib_nv.quorRunScriptFlags). Each <OBJ> element
// names an object by its OID and gives a value, which is set through the
// agent's internal set by OID, without the database's validation and change
// notices. A missing or corrupt file is replaced by the built-in default
// script, which is then applied. CFile_Script is the built-in peripheral
// that stands for the script in the peripheral list.
//
// Format (lines end in CR LF):
//   <?xml version="1.0" encoding="ISO-8859-1"?>       optional
//   <SCRIPT ...>                                       letters in any case
//   \t<OBJ oid="1.3.6...0" int="-12"/>                any number of these
//   \t<OBJ oid="..." str="text"/>                     no '/' inside a value
//   \t<OBJ oid="..." base64="dGV4dA=="/>
//   </SCRIPT>                                          ends the script
// Each attribute follows exactly one blank (space or tab) or none, its name
// directly followed by '=' and a quoted value. A value is applied when it is
// read, with the OID read before it in the same element. An OID of more
// than 99 characters or of other characters than digits and dots, a value
// of more than 249 characters and a number outside the 32 bits skip that
// element's values (or that value) with a trace, and the script goes on;
// anything else the scanner does not expect makes the file corrupt.
#pragma once

#include <cstdint>

#include "database/files/pl_record.h"
#include "database/fs/fs_driver.h"
#include "frame/peripheral/peripheral.h"

class CFile_Script : public CPeripheral {
public:
    enum : uint8_t { CLASS_CODE = 18 };
    enum : uint16_t { TYPE_ID = 303 };
    // Parse's results.
    enum : uint32_t { PARSE_OK = 0, PARSE_CORRUPT = 11 };
    // The file is read whole into one buffer of this size (a longer file is
    // read only up to it).
    static constexpr uint32_t kBufferSize = 262144;
    static constexpr const char* kFileName = "SCRIPT.XML";
    static constexpr uint32_t kOidMax = 99;
    static constexpr uint32_t kValueMax = 249;
    // The bytes of the built-in default script.
    static constexpr uint32_t kDefaultLength = 305;

    CFile_Script();

    static const char* NameOfType(uint16_t type_id);
    static uint16_t TypeOfName(const char* name);
    // Null unless the record's type is 303.
    static CPeripheral* Create(const pl_record& record);

    // Always valid.
    void Poll() override;

    // Applies SCRIPT.XML when the run flag is set, clearing the flag first;
    // a missing or corrupt file is replaced by the default and applied in a
    // second attempt. 1 when a script was applied, else 0 (without a free
    // buffer nothing happens and the flag stays set).
    static int Load(fs_media* media, CFileSystem_Driver* driver);
    // Creates SCRIPT.XML holding the default script; 1 on success.
    static int Write(fs_media* media, CFileSystem_Driver* driver);
    // Scans length bytes of text and applies the values as it goes.
    // PARSE_OK when the script ended with "</SCRIPT>", else PARSE_CORRUPT.
    static uint32_t Parse(const char* text, uint32_t length);
    // The default script into out (size bytes); 1 and its length, or 0.
    static int DefaultText(char* out, uint32_t size, uint32_t* length);
};
