// The string objects of mib_nv: the journal's replay tells a string record
// from an integer one by the object's offset alone.
#include "database/database.h"

namespace {

// Ranges of string objects, one every 4 bytes, first and last inclusive.
struct string_range {
  uint32_t first, last;
};
const string_range kRanges[] = {
    {92, 168},        // font names
    {5392, 25788},    // character bitmaps, 20 fonts x 255 characters
    {25832, 30228},   // MULTI text and owner of the changeable messages
    {33532, 33536},   // MULTI text and owner of a further message row
    {33548, 33552},   // MULTI text and owner of a further message row
    {33580, 33584},   // short and long power-recovery message codes
    {33592, 33596},   // reset and communication-loss message codes
    {33604, 33608},   // power-loss and end-duration message codes
    {33632, 34648},   // action-table message codes
    {34712, 34908},   // a string column of the graphic table
    {35264, 35460},   // a second string column of the graphic table
    {35516, 48112},   // graphic bitmap blocks, 50 graphics x 63 blocks
    {48124, 48128},   // CHAP name and secret
    {49580, 51496},   // day-plan action objects
    {52100, 52336},   // event-log configuration compare objects
    {52340, 52576},   // event-log configuration log objects
    {77180, 93496},   // event-log values, 16 classes x 255 entries
    {93580, 93640},   // event-class descriptions
    {93664, 94060},   // user community names
    {94464, 95004},   // a string column of the module table
    {95204, 95220},   // communication port parameters
    {95744, 96760},   // peripheral parameters
    {96764, 97780},   // peripheral auxiliary I/O table indexes
    {97800, 97996},   // a private string table
    {98012, 98020},   // MIB-II system contact, name, location
    {98028, 98028},   // one MIB-II string
};

const uint32_t kSingles[] = {
    68,                                   // the monochrome colour
    25804, 25808, 25812, 25816,           // MULTI default strings
    33568,                                // message table source
    33616, 33624,                         // brightness values
    93660,                                // administrator community name
    95024, 95072, 95084, 95088, 95144,    // private strings, callback number
    95156, 95160, 95164, 95172, 97788,    // private strings, enterprise-specific trap text
};

}  // namespace

bool CDataBase::IsStringObject(uint32_t offset) {
  for (const string_range& r : kRanges)
    if (offset >= r.first && offset <= r.last) return (offset - r.first) % 4 == 0;
  for (uint32_t s : kSingles)
    if (offset == s) return true;
  return false;
}

bool CDataBase::OverlapsStringSlot(uint32_t offset, uint32_t width) {
  // A slot starting up to three bytes before the range reaches into it.
  uint32_t first = offset >= 3 ? offset - 3 : 0;
  for (uint32_t slot = first; slot < offset + width; ++slot)
    if (IsStringObject(slot)) return true;
  return false;
}
