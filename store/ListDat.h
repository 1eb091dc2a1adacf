#pragma once
#include "store/RecordLayout.h"
#include "store/TItemData.h"

#include <cstddef>
#include <string>

// "LIST.DAT": a flat file of fixed-size records, one per entry, no header. A record is a
// TItemData as laid out in memory, which the checks below hold to the stored layout.

/// Where each field of a record stands.
struct ListDatLayout {
    static constexpr RecordField Size = FirstField(4);
    static constexpr RecordField Attributes = FieldAfter(Size, 4);
    static constexpr RecordField Modified = FieldAfter(Attributes, 8);  // a little-endian double
    static constexpr RecordField Path = FieldAfter(Modified, 256);     // CP950, NUL-terminated
};

/// The stored size of a record.
constexpr size_t ListDatRecordSize = ListDatLayout::Path.End();

static_assert(ListDatRecordSize == 272, "a record keeps the size of the files already stored");
static_assert(sizeof(TItemData) == ListDatRecordSize && offsetof(TItemData, Size) == ListDatLayout::Size.At
                  && offsetof(TItemData, Attributes) == ListDatLayout::Attributes.At
                  && offsetof(TItemData, Modified) == ListDatLayout::Modified.At
                  && offsetof(TItemData, Path) == ListDatLayout::Path.At
                  && sizeof(TItemData::Path) == ListDatLayout::Path.Width,
              "TItemData is read and written as the record, byte for byte");

/// Appends the whole records of `path` (a "LIST.DAT"); a partial last record is ignored,
/// and a Path without its NUL is ended at 255 bytes. A missing file throws the system's text.
void ReadListDat(const std::string& path, TItemList& list);
/// Replaces `path` (a "LIST.DAT") by `list` through a temporary file: a crash or a full
/// disk leaves the old file whole.
void WriteListDat(const std::string& path, const TItemList& list);
