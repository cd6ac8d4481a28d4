// The delta of one partition: written by tools/fotapack, read by the engine.
// Every integer is little-endian and of the width given; nothing here depends
// on the host or the device.
//
// Layout (offsets in bytes):
//   header (its size follows from its kind and transform):
//     "KVRD", u32 version, u32 kind, u32 codec, u32 dict_size,
//     u32 frame_count, u32 body_size, then by kind
//       image: u32 block_size, u32 source_size, u32 target_size,
//              u32 block_count, u32 ref_count, u32 transform, and, when the
//              transform is not KVR_TRANSFORM_NONE, u32 transform_start,
//              u32 transform_end, u32 map_count; then the SHA-256 of the
//              source image and of the target image
//       file system: u32 op_count, u32 text_size
//     and last the delta hash: SHA-256 of the header bytes before it and
//     of the body
//   body:
//     source block hashes   kvr_delta_source_blocks x 16: block hash of each
//                           source erase block's image bytes (the last one
//                           short)
//     block table           block_count x 32, in the order of writing:
//                           u32 block index, u32 first ref, u32 ref count,
//                           u32 frame, then the block hash of the whole
//                           target erase block (image bytes, then 0xFF to
//                           its end)
//     refs                  ref_count x u32: source block indices a block
//                           reads, ascending within each block
//     code map              map_count x 12 (code_transform.h): where old
//                           ranges went, for the branch prediction of copies
//     frame table           frame_count x 28: u32 packed offset (from the body
//                           start), u32 packed size, u32 control size, u32
//                           difference size, u32 literal size, u32 first
//                           block, u32 block count
//     frames                raw LZMA2 streams (dictionary dict_size)
//
// A frame unpacks to three sections: control, difference bytes, literal
// bytes. Control holds, per block of the frame in order, a varint operation
// count and per operation three varints: copy length, source offset as a
// zigzag delta from the end of the frame's previous copy (0 at the frame
// start), literal length. An operation yields copy-length bytes of
// source[offset + i] + difference[i] (mod 256), then literal-length bytes of
// literal data. A block's operations cover exactly its image bytes.
//
// Under a code transform (header fields transform, transform_start,
// transform_end) a copy's source bytes are first rewritten by the branch
// prediction of that instruction set (code_transform.h) through the code
// map, for the branches inside old offsets [transform_start, transform_end);
// the difference is added to the rewritten bytes.
//
// A file-system delta (kind KVR_DELTA_FILE_SYSTEM). Its body:
//     operations   op_count x KVR_FS_OP_ENTRY_SIZE, in the order of running:
//                  u32 type, u32 path offset, u32 path length, u32 extra
//                  offset, u32 extra length (offsets into the path text),
//                  u32 source size, u32 target size, u32 first frame, u32
//                  frame count, SHA-256 of the source file, SHA-256 of the
//                  result (file content, or link text)
//     path text    text_size bytes: paths relative to the mount path, no
//                  terminators
//     frame table  as above; first block is the operation's index, block
//                  count 1
//     frames       as above
// The frames of a file operation unpack, one after the other, to its
// content: control holds per operation three varints (copy length, source
// offset as a zigzag delta from the end of the file's previous copy, literal
// length) until its end; each operation reads the old file, as above. A file
// removal whose result hash is not zero leaves a file holding that result: a
// later operation of a run cut short put it there, as when a link becomes a
// file.
#pragma once

#include "le_fields.h"

#include <cstdint>

constexpr uint8_t KVR_DELTA_MAGIC[4] = {'K', 'V', 'R', 'D'};
// 3: the header names a code transform, the region it covers and the code map.
// 4: each kind has its own header fields; the source block count is derived.
constexpr uint32_t KVR_DELTA_VERSION = 4;
constexpr uint32_t KVR_DELTA_HASH_SIZE = 32;
// A block hash is the first 16 bytes of the SHA-256: ample against chance
// (the whole source and target images keep their full hashes), and it halves
// what the tables add to a small delta.
constexpr uint32_t KVR_DELTA_BLOCK_HASH_SIZE = 16;

enum kvr_delta_kind : uint32_t { KVR_DELTA_IMAGE = 1, KVR_DELTA_FILE_SYSTEM = 2 };
enum kvr_delta_codec : uint32_t { KVR_DELTA_CODEC_LZMA2 = 1 };

// Bounds that keep decoding inside the engine heap: a frame unpacks to at
// most this many bytes and its dictionary is no larger.
constexpr uint32_t KVR_DELTA_FRAME_LIMIT = 3u << 20;
constexpr uint32_t KVR_DELTA_BLOCK_LIMIT = 1u << 20;

// Header bytes: the part every kind has (magic and six words), and the most
// any header takes.
constexpr uint32_t KVR_DELTA_HEADER_PREFIX = 28;
constexpr uint32_t KVR_DELTA_HEADER_MAX = KVR_DELTA_HEADER_PREFIX + 36 + 3 * KVR_DELTA_HASH_SIZE;
constexpr uint32_t KVR_DELTA_BLOCK_ENTRY_SIZE = 16 + KVR_DELTA_BLOCK_HASH_SIZE;
constexpr uint32_t KVR_DELTA_REF_SIZE = 4;
constexpr uint32_t KVR_DELTA_FRAME_ENTRY_SIZE = 28;

// File-system operations. The extra text is, by type: the old path (rename),
// the link text (symlink), the attribute text "_engine_%06o:%04x:%04x"
// (attributes); none otherwise.
enum kvr_fs_op_type : uint32_t {
    KVR_FS_CREATE_FOLDER = 1,
    KVR_FS_NEW_FILE = 2,     // content from the frames alone
    KVR_FS_CHANGED_FILE = 3, // content from the frames and the old file
    KVR_FS_REMOVE_FILE = 4,  // a file or a link (see the removal's result above)
    KVR_FS_REMOVE_FOLDER = 5,
    KVR_FS_RENAME = 6,       // old path to path, content unchanged
    KVR_FS_SYMLINK = 7,      // path becomes a link holding the extra text
    KVR_FS_ATTRIBUTES = 8,
};
constexpr uint32_t KVR_FS_OP_ENTRY_SIZE = 36 + 2 * KVR_DELTA_HASH_SIZE;
constexpr uint32_t KVR_FS_PATH_LIMIT = 1000; // bytes of one relative path or extra text

// What an image delta's header says of its partition.
struct kvr_image_delta_fields {
    uint32_t block_size;
    uint32_t source_size;
    uint32_t target_size;
    uint32_t block_count;
    uint32_t ref_count;
    // The branch prediction of copies (code_transform.h) for the branches in
    // old offsets [transform_start, transform_end), through the code map of
    // map_count entries. KVR_TRANSFORM_NONE: copies as they are, and the
    // other three are zero.
    uint32_t transform;
    uint32_t transform_start;
    uint32_t transform_end;
    uint32_t map_count;
    uint8_t source_hash[KVR_DELTA_HASH_SIZE];
    uint8_t target_hash[KVR_DELTA_HASH_SIZE];
};

struct kvr_fs_delta_fields {
    uint32_t op_count;
    uint32_t text_size;
};

struct kvr_delta_header {
    uint32_t version;
    uint32_t kind;
    uint32_t codec;
    uint32_t dict_size;
    uint32_t frame_count;
    uint32_t body_size;
    kvr_image_delta_fields image; // kind KVR_DELTA_IMAGE
    kvr_fs_delta_fields fs;       // kind KVR_DELTA_FILE_SYSTEM
    uint8_t delta_hash[KVR_DELTA_HASH_SIZE];
};

struct kvr_delta_block {
    uint32_t index;
    uint32_t ref_first;
    uint32_t ref_count;
    uint32_t frame;
    uint8_t hash[KVR_DELTA_BLOCK_HASH_SIZE];
};

struct kvr_delta_frame {
    uint32_t offset;
    uint32_t packed_size;
    uint32_t control_size;
    uint32_t difference_size;
    uint32_t literal_size;
    uint32_t first_block;
    uint32_t block_count;
};

struct kvr_fs_op {
    uint32_t type;
    uint32_t path_at;
    uint32_t path_size;
    uint32_t extra_at;
    uint32_t extra_size;
    uint32_t source_size;
    uint32_t target_size;
    uint32_t first_frame;
    uint32_t frame_count;
    uint8_t source_hash[KVR_DELTA_HASH_SIZE];
    uint8_t target_hash[KVR_DELTA_HASH_SIZE];
};

// Whole blocks covering size bytes (0 for a block size of 0).
uint32_t kvr_delta_blocks_for(uint32_t size, uint32_t block_size);

// Source erase blocks of an image delta: one block hash each.
uint32_t kvr_delta_source_blocks(const kvr_delta_header& header);

// Header bytes on disk (at most KVR_DELTA_HEADER_MAX); the delta hash is
// their last KVR_DELTA_HASH_SIZE.
uint32_t kvr_delta_header_size(const kvr_delta_header& header);
// The header's size as far as its first `have` bytes tell (have at least
// KVR_DELTA_HEADER_PREFIX): more than have when it takes more bytes to tell;
// 0 on a wrong magic, version or kind. A reader reads until it answers have.
uint32_t kvr_delta_header_bytes(const uint8_t* in, uint32_t have);
// Returns the bytes written.
uint32_t kvr_delta_header_write(const kvr_delta_header& header, uint8_t out[KVR_DELTA_HEADER_MAX]);
// False unless the available bytes start with a whole header of this
// version and a known kind.
bool kvr_delta_header_read(const uint8_t* in, uint32_t available, kvr_delta_header* header);
// Bytes of the body before the frames: hashes, block table, refs, frame table.
uint64_t kvr_delta_table_size(const kvr_delta_header& header);
uint64_t kvr_fs_delta_table_size(const kvr_delta_header& header);
void kvr_fs_op_write(const kvr_fs_op& op, uint8_t* out);
void kvr_fs_op_read(const uint8_t* in, kvr_fs_op* op);

void kvr_delta_block_write(const kvr_delta_block& block, uint8_t* out);
void kvr_delta_block_read(const uint8_t* in, kvr_delta_block* block);
void kvr_delta_frame_write(const kvr_delta_frame& frame, uint8_t* out);
void kvr_delta_frame_read(const uint8_t* in, kvr_delta_frame* frame);

// Control varints: 7 bits a byte, low group first, at most 5 bytes.
constexpr uint32_t KVR_VARINT_MAX = 5;
uint32_t kvr_put_varint(uint8_t* out, uint32_t value); // bytes written
// False when the varint runs past end or beyond 32 bits.
bool kvr_get_varint(const uint8_t** cursor, const uint8_t* end, uint32_t* value);
uint32_t kvr_zigzag(int32_t value);
int32_t kvr_unzigzag(uint32_t value);
