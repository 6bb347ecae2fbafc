// Huffman tables built once per content in the process. Building one (the
// symbol and coefficient lookups) costs about as much as decoding a few
// hundred blocks, which small pictures feel at every read; camera pictures
// nearly always carry the same four tables, so the first contents met are
// kept, and a DHT table equal to one of them is copied instead of built.
#pragma once
#include <cstddef>
#include <cstdint>

#include "huffman_table.h"

// As build_huffman_table (same arguments, same result, same refusals),
// through the process's kept tables.
int32_t build_huffman_table_shared(const uint8_t counts[16], const uint8_t* values, size_t values_available,
                                   int32_t table_class, int32_t id, HuffmanTable* table);
