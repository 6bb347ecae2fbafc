// Huffman tables built once per content in the process. Building one (the
// symbol and coefficient lookups) costs about as much as decoding a few
// hundred blocks, which small pictures feel at every read; camera pictures
// nearly always carry the same four tables, so the first contents met are
// kept, and a DHT table equal to one of them is copied instead of built.
// A kept AC table also carries its pair lookup (HuffmanTable::pairs),
// owned by the process like the table; a record builds its own for the AC
// tables of a scan that are not kept.
#pragma once
#include <cstddef>
#include <cstdint>

#include "huffman_table.h"
#include "jpeg_record.h"

// The process's kept table of this content, built and kept now if there
// is room; null when the content is refused or no slot is left.
const HuffmanTable* find_kept_huffman_table(const uint8_t counts[16], const uint8_t* values, size_t values_available,
                                            int32_t table_class);

// As build_huffman_table (same arguments, same result, same refusals),
// through the process's kept tables.
int32_t build_huffman_table_shared(const uint8_t counts[16], const uint8_t* values, size_t values_available,
                                   int32_t table_class, int32_t id, HuffmanTable* table);

// Gives every AC table of the scan a pair lookup: the kept tables carry
// theirs; for the others one is built into the record's own_pairs. When
// that cannot be allocated the tables stay without, which only costs speed.
void attach_pair_lookups(DecoderState& state, const ScanInfo& scan);
// Frees the record's own pair lookups; its tables stop pointing to them.
void release_pair_lookups(DecoderState& state);
