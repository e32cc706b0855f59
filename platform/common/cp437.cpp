#include "platform/common/cp437.h"

// Code page 437 as Unicode: the IBM PC character set, with the pictures of the
// control range (1 to 31 and 127) that the PC showed for those codes. Code 0
// shows as a space.
const char32_t cp437ToUnicode[256] = {
    U'\x0020', U'\x263a', U'\x263b', U'\x2665', U'\x2666', U'\x2663', U'\x2660', U'\x2022',  // 00-07
    U'\x25d8', U'\x25cb', U'\x25d9', U'\x2642', U'\x2640', U'\x266a', U'\x266b', U'\x263c',  // 08-0f
    U'\x25ba', U'\x25c4', U'\x2195', U'\x203c', U'\x00b6', U'\x00a7', U'\x25ac', U'\x21a8',  // 10-17
    U'\x2191', U'\x2193', U'\x2192', U'\x2190', U'\x221f', U'\x2194', U'\x25b2', U'\x25bc',  // 18-1f
    U'\x0020', U'\x0021', U'\x0022', U'\x0023', U'\x0024', U'\x0025', U'\x0026', U'\x0027',  // 20-27
    U'\x0028', U'\x0029', U'\x002a', U'\x002b', U'\x002c', U'\x002d', U'\x002e', U'\x002f',  // 28-2f
    U'\x0030', U'\x0031', U'\x0032', U'\x0033', U'\x0034', U'\x0035', U'\x0036', U'\x0037',  // 30-37
    U'\x0038', U'\x0039', U'\x003a', U'\x003b', U'\x003c', U'\x003d', U'\x003e', U'\x003f',  // 38-3f
    U'\x0040', U'\x0041', U'\x0042', U'\x0043', U'\x0044', U'\x0045', U'\x0046', U'\x0047',  // 40-47
    U'\x0048', U'\x0049', U'\x004a', U'\x004b', U'\x004c', U'\x004d', U'\x004e', U'\x004f',  // 48-4f
    U'\x0050', U'\x0051', U'\x0052', U'\x0053', U'\x0054', U'\x0055', U'\x0056', U'\x0057',  // 50-57
    U'\x0058', U'\x0059', U'\x005a', U'\x005b', U'\x005c', U'\x005d', U'\x005e', U'\x005f',  // 58-5f
    U'\x0060', U'\x0061', U'\x0062', U'\x0063', U'\x0064', U'\x0065', U'\x0066', U'\x0067',  // 60-67
    U'\x0068', U'\x0069', U'\x006a', U'\x006b', U'\x006c', U'\x006d', U'\x006e', U'\x006f',  // 68-6f
    U'\x0070', U'\x0071', U'\x0072', U'\x0073', U'\x0074', U'\x0075', U'\x0076', U'\x0077',  // 70-77
    U'\x0078', U'\x0079', U'\x007a', U'\x007b', U'\x007c', U'\x007d', U'\x007e', U'\x2302',  // 78-7f
    U'\x00c7', U'\x00fc', U'\x00e9', U'\x00e2', U'\x00e4', U'\x00e0', U'\x00e5', U'\x00e7',  // 80-87
    U'\x00ea', U'\x00eb', U'\x00e8', U'\x00ef', U'\x00ee', U'\x00ec', U'\x00c4', U'\x00c5',  // 88-8f
    U'\x00c9', U'\x00e6', U'\x00c6', U'\x00f4', U'\x00f6', U'\x00f2', U'\x00fb', U'\x00f9',  // 90-97
    U'\x00ff', U'\x00d6', U'\x00dc', U'\x00a2', U'\x00a3', U'\x00a5', U'\x20a7', U'\x0192',  // 98-9f
    U'\x00e1', U'\x00ed', U'\x00f3', U'\x00fa', U'\x00f1', U'\x00d1', U'\x00aa', U'\x00ba',  // a0-a7
    U'\x00bf', U'\x2310', U'\x00ac', U'\x00bd', U'\x00bc', U'\x00a1', U'\x00ab', U'\x00bb',  // a8-af
    U'\x2591', U'\x2592', U'\x2593', U'\x2502', U'\x2524', U'\x2561', U'\x2562', U'\x2556',  // b0-b7
    U'\x2555', U'\x2563', U'\x2551', U'\x2557', U'\x255d', U'\x255c', U'\x255b', U'\x2510',  // b8-bf
    U'\x2514', U'\x2534', U'\x252c', U'\x251c', U'\x2500', U'\x253c', U'\x255e', U'\x255f',  // c0-c7
    U'\x255a', U'\x2554', U'\x2569', U'\x2566', U'\x2560', U'\x2550', U'\x256c', U'\x2567',  // c8-cf
    U'\x2568', U'\x2564', U'\x2565', U'\x2559', U'\x2558', U'\x2552', U'\x2553', U'\x256b',  // d0-d7
    U'\x256a', U'\x2518', U'\x250c', U'\x2588', U'\x2584', U'\x258c', U'\x2590', U'\x2580',  // d8-df
    U'\x03b1', U'\x00df', U'\x0393', U'\x03c0', U'\x03a3', U'\x03c3', U'\x00b5', U'\x03c4',  // e0-e7
    U'\x03a6', U'\x0398', U'\x03a9', U'\x03b4', U'\x221e', U'\x03c6', U'\x03b5', U'\x2229',  // e8-ef
    U'\x2261', U'\x00b1', U'\x2265', U'\x2264', U'\x2320', U'\x2321', U'\x00f7', U'\x2248',  // f0-f7
    U'\x00b0', U'\x2219', U'\x00b7', U'\x221a', U'\x207f', U'\x00b2', U'\x25a0', U'\x00a0',  // f8-ff
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
