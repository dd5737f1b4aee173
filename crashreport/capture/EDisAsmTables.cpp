// The instruction templates: Intel's 32-bit opcode maps with MMX and the P6 additions,
// written in the disassembler's marker language (see EDisAsm.cpp).
#include "crashreport/capture/EDisAsm.h"

const char* const OneByteTemplates[256] = {
    "add     #Eb , #Gb ", "add     #Ev , #Gv ", "add     #Gb , #Eb ", "add     #Gv , #Ev ",  // 00
    "add     al, #Ib ", "add     @eax, #Iv ", "push    es", "pop     es",  // 04
    "or      #Eb , #Gb ", "or      #Ev , #Gv ", "or      #Gb , #Eb ", "or      #Gv , #Ev ",  // 08
    "or      al, #Ib ", "or      @eax, #Iv ", "push    cs", "@c2",  // 0C
    "adc     #Eb , #Gb ", "adc     #Ev , #Gv ", "adc     #Gb , #Eb ", "adc     #Gv , #Ev ",  // 10
    "adc     al, #Ib ", "adc     @eax, #Iv ", "push    ss", "pop     ss",  // 14
    "sbb     #Eb , #Gb ", "sbb     #Ev , #Gv ", "sbb     #Gb , #Eb ", "sbb     #Gv , #Ev ",  // 18
    "sbb     al, #Ib ", "sbb     @eax, #Iv ", "push    ds", "pop     ds",  // 1C
    "and     #Eb , #Gb ", "and     #Ev , #Gv ", "and     #Gb , #Eb ", "and     #Gv , #Ev ",  // 20
    "and     al, #Ib ", "and     @eax, #Iv ", "@pe", "daa",  // 24
    "sub     #Eb , #Gb ", "sub     #Ev , #Gv ", "sub     #Gb , #Eb ", "sub     #Gv , #Ev ",  // 28
    "sub     al, #Ib ", "sub     @eax, #Iv ", "@pc", "das",  // 2C
    "xor     #Eb , #Gb ", "xor     #Ev , #Gv ", "xor     #Gb , #Eb ", "xor     #Gv , #Ev ",  // 30
    "xor     al, #Ib ", "xor     @eax, #Iv ", "@ps", "aaa",  // 34
    "cmp     #Eb , #Gb ", "cmp     #Ev , #Gv ", "cmp     #Gb , #Eb ", "cmp     #Gv , #Ev ",  // 38
    "cmp     al, #Ib ", "cmp     @eax, #Iv ", "@pd", "aas",  // 3C
    "inc     @eax", "inc     @ecx", "inc     @edx", "inc     @ebx",  // 40
    "inc     @esp", "inc     @ebp", "inc     @esi", "inc     @edi",  // 44
    "dec     @eax", "dec     @ecx", "dec     @edx", "dec     @ebx",  // 48
    "dec     @esp", "dec     @ebp", "dec     @esi", "dec     @edi",  // 4C
    "push    @eax", "push    @ecx", "push    @edx", "push    @ebx",  // 50
    "push    @esp", "push    @ebp", "push    @esi", "push    @edi",  // 54
    "pop     @eax", "pop     @ecx", "pop     @edx", "pop     @ebx",  // 58
    "pop     @esp", "pop     @ebp", "pop     @esi", "pop     @edi",  // 5C
    "pusha@o4", "popa@o4", "bound   #Gv , #Ma ", "arpl    #Ew , #Gw ",  // 60
    "@pf", "@pg", "@so", "@sa",  // 64
    "push    #Iv ", "imul    #Gv , #Ev , #Iv ", "push    #Hb ", "imul    #Gv , #Ev , #Hb ",  // 68
    "insb", "ins@o4", "outsb", "outs@o4",  // 6C
    "jo      #Jbj", "jno     #Jbj", "jb      #Jbj", "jnb     #Jbj",  // 70
    "jz      #Jbj", "jnz     #Jbj", "jbe     #Jbj", "jnbe    #Jbj",  // 74
    "js      #Jbj", "jns     #Jbj", "jp      #Jbj", "jnp     #Jbj",  // 78
    "jl      #Jbj", "jnl     #Jbj", "jle     #Jbj", "jnle    #Jbj",  // 7C
    "@ga#Eb , #Ib ", "@ga#Ev , #Iv ", "@ga#Eb , #Ib ", "@ga#Ev , #Hb ",  // 80
    "test    #Eb , #Gb ", "test    #Ev , #Gv ", "xchg    #Eb , #Gb ", "xchg    #Ev , #Gv ",  // 84
    "mov     #Eb , #Gb ", "mov     #Ev , #Gv ", "mov     #Gb , #Eb ", "mov     #Gv , #Ev ",  // 88
    "mov     #Ew , #Sw ", "lea     #Gv , #M  ", "mov     #Sw , #Ew ", "pop     #Ev ",  // 8C
    "nop", "xchg    @eax, @ecx", "xchg    @eax, @edx", "xchg    @eax, @ebx",  // 90
    "xchg    @eax, @esp", "xchg    @eax, @ebp", "xchg    @eax, @esi", "xchg    @eax, @edi",  // 94
    "c@o2@o4@e ", "c@o4@o8", "call    #Ap ", "wait",  // 98
    "pushf@o4", "popf@o4", "sahf", "lahf",  // 9C
    "mov     al, #Ob ", "mov     @eax, #Ov ", "mov     #Ob , al", "mov     #Ov , @eax",  // A0
    "movsb", "movs@o4", "cmpsb", "cmps@o4",  // A4
    "test    al, #Ib ", "test    @eax, #Iv ", "stosb", "stos@o4",  // A8
    "lodsb", "lods@o4", "scasb", "scas@o4",  // AC
    "mov     al, #Ib ", "mov     cl, #Ib ", "mov     dl, #Ib ", "mov     bl, #Ib ",  // B0
    "mov     ah, #Ib ", "mov     ch, #Ib ", "mov     dh, #Ib ", "mov     bh, #Ib ",  // B4
    "mov     @eax, #Iv ", "mov     @ecx, #Iv ", "mov     @edx, #Iv ", "mov     @ebx, #Iv ",  // B8
    "mov     @esp, #Iv ", "mov     @ebp, #Iv ", "mov     @esi, #Iv ", "mov     @edi, #Iv ",  // BC
    "@gb#Eb , #Ib ", "@gb#Ev , #Ib ", "ret     #Iw ", "ret",  // C0
    "les     #Gv , #Mp ", "lds     #Gv , #Mp ", "mov     #Eb , #Ib ", "mov     #Ev , #Iv ",  // C4
    "enter   #Iw , #Ib ", "leave", "retf    #Iw ", "retf",  // C8
    "int     3", "int     #Ib ", "into", "iret@o4",  // CC
    "@gb#Eb , 1", "@gb#Ev , 1", "@gb#Eb , cl", "@gb#Ev , cl",  // D0
    "aam     #Ib ", "aad     #Ib ", "%c ", "xlat",  // D4
    "@ca", "@cb", "@cc", "@cd",  // D8
    "@ce", "@cf", "@cg", "@ch",  // DC
    "loopn   #Jbj", "loope   #Jbj", "loop    #Jbj", "jecxz   #Jbj",  // E0
    "in      al, #Ib ", "in      @eax, #Ib ", "out     #Ib , al", "out     #Ib , @eax",  // E4
    "call    #Jvc", "jmp     #Jvj", "jmp     #Ap ", "jmp     #Jbj",  // E8
    "in      al, dx", "in      @eax, dx", "out     dx, al", "out     dx, @eax",  // EC
    "@rl", "int1", "@rn", "@rr",  // F0
    "hlt", "cmc", "@gc#Eb @h1", "@gc#Ev @h2",  // F4
    "clc", "stc", "cli", "sti",  // F8
    "cld", "std", "@gd@h3", "@ge@h4",  // FC
};

const char* const TwoByteTemplates[256] = {
    "@gf", "@gk", "lar     #Gv , #Ew ", "lsl     #Gv , #Ew ",  // 00
    "%c ", "syscall", "clts", "sysret",  // 04
    "invd", "wbinvd", "%c ", "ud2",  // 08
    "%c ", "%c ", "%c ", "%c ",  // 0C
    "%c ", "%c ", "%c ", "%c ",  // 10
    "%c ", "%c ", "%c ", "%c ",  // 14
    "@gm", "nop     #Ev ", "nop     #Ev ", "nop     #Ev ",  // 18
    "nop     #Ev ", "nop     #Ev ", "nop     #Ev ", "nop     #Ev ",  // 1C
    "mov     #Rd , #Cd ", "mov     #Rd , #Dd ", "mov     #Cd , #Rd ", "mov     #Dd , #Rd ",  // 20
    "mov     #Rd , #Td ", "%c ", "mov     #Td , #Rd ", "%c ",  // 24
    "%c ", "%c ", "%c ", "%c ",  // 28
    "%c ", "%c ", "%c ", "%c ",  // 2C
    "wrmsr", "rdtsc", "rdmsr", "rdpmc",  // 30
    "sysenter", "sysexit", "%c ", "%c ",  // 34
    "%c ", "%c ", "%c ", "%c ",  // 38
    "%c ", "%c ", "%c ", "%c ",  // 3C
    "cmovo   #Gv , #Ev ", "cmovno  #Gv , #Ev ", "cmovb   #Gv , #Ev ", "cmovnb  #Gv , #Ev ",  // 40
    "cmovz   #Gv , #Ev ", "cmovnz  #Gv , #Ev ", "cmovbe  #Gv , #Ev ", "cmovnbe #Gv , #Ev ",  // 44
    "cmovs   #Gv , #Ev ", "cmovns  #Gv , #Ev ", "cmovp   #Gv , #Ev ", "cmovnp  #Gv , #Ev ",  // 48
    "cmovl   #Gv , #Ev ", "cmovnl  #Gv , #Ev ", "cmovle  #Gv , #Ev ", "cmovnle #Gv , #Ev ",  // 4C
    "%c ", "%c ", "%c ", "%c ",  // 50
    "%c ", "%c ", "%c ", "%c ",  // 54
    "%c ", "%c ", "%c ", "%c ",  // 58
    "%c ", "%c ", "%c ", "%c ",  // 5C
    "punpcklbw #Pq , #Qd ", "punpcklwd #Pq , #Qd ", "punpckldq #Pq , #Qd ", "packsswb #Pq , #Qq ",  // 60
    "pcmpgtb #Pq , #Qq ", "pcmpgtw #Pq , #Qq ", "pcmpgtd #Pq , #Qq ", "packuswb #Pq , #Qq ",  // 64
    "punpckhbw #Pq , #Qq ", "punpckhwd #Pq , #Qq ", "punpckhdq #Pq , #Qq ", "packssdw #Pq , #Qq ",  // 68
    "%c ", "%c ", "movd    #Pq , #Ed ", "movq    #Pq , #Qq ",  // 6C
    "pshufw  #Pq , #Qq , #Ib ", "@gg", "@gh", "@gi",  // 70
    "pcmpeqb #Pq , #Qq ", "pcmpeqw #Pq , #Qq ", "pcmpeqd #Pq , #Qq ", "emms",  // 74
    "%c ", "%c ", "%c ", "%c ",  // 78
    "%c ", "%c ", "movd    #Ed , #Pq ", "movq    #Qq , #Pq ",  // 7C
    "jo      #Jvj", "jno     #Jvj", "jb      #Jvj", "jnb     #Jvj",  // 80
    "jz      #Jvj", "jnz     #Jvj", "jbe     #Jvj", "jnbe    #Jvj",  // 84
    "js      #Jvj", "jns     #Jvj", "jp      #Jvj", "jnp     #Jvj",  // 88
    "jl      #Jvj", "jnl     #Jvj", "jle     #Jvj", "jnle    #Jvj",  // 8C
    "seto    #Eb ", "setno   #Eb ", "setb    #Eb ", "setnb   #Eb ",  // 90
    "setz    #Eb ", "setnz   #Eb ", "setbe   #Eb ", "setnbe  #Eb ",  // 94
    "sets    #Eb ", "setns   #Eb ", "setp    #Eb ", "setnp   #Eb ",  // 98
    "setl    #Eb ", "setnl   #Eb ", "setle   #Eb ", "setnle  #Eb ",  // 9C
    "push    fs", "pop     fs", "cpuid", "bt      #Ev , #Gv ",  // A0
    "shld    #Ev , #Gv , #Ib ", "shld    #Ev , #Gv , cl", "%c ", "%c ",  // A4
    "push    gs", "pop     gs", "rsm", "bts     #Ev , #Gv ",  // A8
    "shrd    #Ev , #Gv , #Ib ", "shrd    #Ev , #Gv , cl", "@gn", "imul    #Gv , #Ev ",  // AC
    "cmpxchg #Eb , #Gb ", "cmpxchg #Ev , #Gv ", "lss     #Gv , #Mp ", "btr     #Ev , #Gv ",  // B0
    "lfs     #Gv , #Mp ", "lgs     #Gv , #Mp ", "movzx   #Gv , #Eb ", "movzx   #Gv , #Ew ",  // B4
    "%c ", "%c ", "@gl#Ev , #Ib ", "btc     #Ev , #Gv ",  // B8
    "bsf     #Gv , #Ev ", "bsr     #Gv , #Ev ", "movsx   #Gv , #Eb ", "movsx   #Gv , #Ew ",  // BC
    "xadd    #Eb , #Gb ", "xadd    #Ev , #Gv ", "%c ", "%c ",  // C0
    "pinsrw  #Pq , #Ed , #Ib ", "pextrw  #Gd , #Qq , #Ib ", "%c ", "@gj",  // C4
    "bswap   eax", "bswap   ecx", "bswap   edx", "bswap   ebx",  // C8
    "bswap   esp", "bswap   ebp", "bswap   esi", "bswap   edi",  // CC
    "%c ", "psrlw   #Pq , #Qq ", "psrld   #Pq , #Qq ", "psrlq   #Pq , #Qq ",  // D0
    "%c ", "pmullw  #Pq , #Qq ", "%c ", "%c ",  // D4
    "psubusb #Pq , #Qq ", "psubusw #Pq , #Qq ", "%c ", "pand    #Pq , #Qq ",  // D8
    "paddusb #Pq , #Qq ", "paddusw #Pq , #Qq ", "%c ", "pandn   #Pq , #Qq ",  // DC
    "%c ", "psraw   #Pq , #Qq ", "psrad   #Pq , #Qq ", "%c ",  // E0
    "%c ", "pmulhw  #Pq , #Qq ", "%c ", "%c ",  // E4
    "psubsb  #Pq , #Qq ", "psubsw  #Pq , #Qq ", "%c ", "por     #Pq , #Qq ",  // E8
    "paddsb  #Pq , #Qq ", "paddsw  #Pq , #Qq ", "%c ", "pxor    #Pq , #Qq ",  // EC
    "%c ", "psllw   #Pq , #Qq ", "pslld   #Pq , #Qq ", "psllq   #Pq , #Qq ",  // F0
    "%c ", "pmaddwd #Pq , #Qq ", "%c ", "%c ",  // F4
    "psubb   #Pq , #Qq ", "psubw   #Pq , #Qq ", "psubd   #Pq , #Qq ", "%c ",  // F8
    "paddb   #Pq , #Qq ", "paddw   #Pq , #Qq ", "paddd   #Pq , #Qq ", "%c ",  // FC
};

// Chosen by the reg field of the ModRM byte: "a" to "j", then the groups of 0F 01, 0F BA,
// 0F 18 and 0F AE. The shift groups g to i take their MMX register from r/m (#Qq): the reg field
// holds the group's selector.
const char* const GroupTemplates[][8] = {
    {"add     ", "or      ", "adc     ", "sbb     ", "and     ", "sub     ", "xor     ", "cmp     "},  // a
    {"rol     ", "ror     ", "rcl     ", "rcr     ", "shl     ", "shr     ", "%c", "sar     "},  // b
    {"test    ", "%c", "not     ", "neg     ", "mul     ", "imul    ", "div     ", "idiv    "},  // c
    {"inc     ", "dec     ", "%c", "%c", "%c", "%c", "%c", "%c"},  // d
    {"inc     ", "dec     ", "call    ", "call    ", "jmp     ", "jmp     ", "push    ", "%c"},  // e
    {"sldt    #Ew ", "str     #Ew ", "lldt    #Ew ", "ltr     #Ew ", "verr    #Ew ", "verw    #Ew ", "%c", "%c"},  // f
    {"%c", "%c", "psrlw   #Qq , #Ib ", "%c", "psraw   #Qq , #Ib ", "%c", "psllw   #Qq , #Ib ", "%c"},  // g
    {"%c", "%c", "psrld   #Qq , #Ib ", "%c", "psrad   #Qq , #Ib ", "%c", "pslld   #Qq , #Ib ", "%c"},  // h
    {"%c", "%c", "psrlq   #Qq , #Ib ", "%c", "%c", "%c", "psllq   #Qq , #Ib ", "%c"},  // i
    {"%c", "cmpxchg8b #Mq ", "%c", "%c", "%c", "%c", "%c", "%c"},  // j
    {"sgdt    #Ms ", "sidt    #Ms ", "lgdt    #Ms ", "lidt    #Ms ", "smsw    #Ew ", "%c", "lmsw    #Ew ", "invlpg  #M  "},  // k
    {"%c", "%c", "%c", "%c", "bt      ", "bts     ", "btr     ", "btc     "},  // l
    {"prefetchnta #M  ", "prefetcht0 #M  ", "prefetcht1 #M  ", "prefetcht2 #M  ", "nop     #Ev ", "nop     #Ev ", "nop     #Ev ", "nop     #Ev "},  // m
    {"fxsave  #M  ", "fxrstor #M  ", "ldmxcsr #Md ", "stmxcsr #Md ", "xsave   #M  ", "xrstor  #M  ", "xsaveopt #M  ", "clflush #M  "},  // n
};
const int GroupTemplateCount = static_cast<int>(std::size(GroupTemplates));

const char* const OperandTails[4][8] = {
    {", #Ib ", "", "", "", ", al", ", al", "", ""},
    {", #Iv ", "", "", "", "", "", "", ""},
    {"#Eb ", "#Eb ", "", "", "", "", "", ""},
    {"#Ev ", "#Ev ", "#Ev ", "#Ep ", "#Ev ", "#Ep ", "#Ev ", ""},
};

// Per escape byte D8 to DF: 8 memory forms by the reg field, then ModRM C0 to FF.
const char* const FloatTemplates[8][72] = {
    {  // D8
        "fadd    #Ed ", "fmul    #Ed ", "fcom    #Ed ", "fcomp   #Ed ",
        "fsub    #Ed ", "fsubr   #Ed ", "fdiv    #Ed ", "fdivr   #Ed ",
        "fadd    st(0), st(0)", "fadd    st(0), st(1)", "fadd    st(0), st(2)", "fadd    st(0), st(3)",
        "fadd    st(0), st(4)", "fadd    st(0), st(5)", "fadd    st(0), st(6)", "fadd    st(0), st(7)",
        "fmul    st(0), st(0)", "fmul    st(0), st(1)", "fmul    st(0), st(2)", "fmul    st(0), st(3)",
        "fmul    st(0), st(4)", "fmul    st(0), st(5)", "fmul    st(0), st(6)", "fmul    st(0), st(7)",
        "fcom    st(0)", "fcom    st(1)", "fcom    st(2)", "fcom    st(3)",
        "fcom    st(4)", "fcom    st(5)", "fcom    st(6)", "fcom    st(7)",
        "fcomp   st(0)", "fcomp   st(1)", "fcomp   st(2)", "fcomp   st(3)",
        "fcomp   st(4)", "fcomp   st(5)", "fcomp   st(6)", "fcomp   st(7)",
        "fsub    st(0), st(0)", "fsub    st(0), st(1)", "fsub    st(0), st(2)", "fsub    st(0), st(3)",
        "fsub    st(0), st(4)", "fsub    st(0), st(5)", "fsub    st(0), st(6)", "fsub    st(0), st(7)",
        "fsubr   st(0), st(0)", "fsubr   st(0), st(1)", "fsubr   st(0), st(2)", "fsubr   st(0), st(3)",
        "fsubr   st(0), st(4)", "fsubr   st(0), st(5)", "fsubr   st(0), st(6)", "fsubr   st(0), st(7)",
        "fdiv    st(0), st(0)", "fdiv    st(0), st(1)", "fdiv    st(0), st(2)", "fdiv    st(0), st(3)",
        "fdiv    st(0), st(4)", "fdiv    st(0), st(5)", "fdiv    st(0), st(6)", "fdiv    st(0), st(7)",
        "fdivr   st(0), st(0)", "fdivr   st(0), st(1)", "fdivr   st(0), st(2)", "fdivr   st(0), st(3)",
        "fdivr   st(0), st(4)", "fdivr   st(0), st(5)", "fdivr   st(0), st(6)", "fdivr   st(0), st(7)",
    },
    {  // D9
        "fld     #Ed ", "%c", "fst     #Ed ", "fstp    #Ed ",
        "fldenv  #E  ", "fldcw   #Ew ", "fnstenv #E  ", "fnstcw  #Ew ",
        "fld     st(0)", "fld     st(1)", "fld     st(2)", "fld     st(3)",
        "fld     st(4)", "fld     st(5)", "fld     st(6)", "fld     st(7)",
        "fxch    st(0)", "fxch    st(1)", "fxch    st(2)", "fxch    st(3)",
        "fxch    st(4)", "fxch    st(5)", "fxch    st(6)", "fxch    st(7)",
        "fnop", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "fchs", "fabs", "%c", "%c",
        "ftst", "fxam", "%c", "%c",
        "fld1", "fldl2t", "fldl2e", "fldpi",
        "fldlg2", "fldln2", "fldz", "%c",
        "f2xm1", "fyl2x", "fptan", "fpatan",
        "fxtract", "fprem1", "fdecstp", "fincstp",
        "fprem", "fyl2xp1", "fsqrt", "fsincos",
        "frndint", "fscale", "fsin", "fcos",
    },
    {  // DA
        "fiadd   #Ed ", "fimul   #Ed ", "ficom   #Ed ", "ficomp  #Ed ",
        "fisub   #Ed ", "fisubr  #Ed ", "fidiv   #Ed ", "fidivr  #Ed ",
        "fcmovb  st(0), st(0)", "fcmovb  st(0), st(1)", "fcmovb  st(0), st(2)", "fcmovb  st(0), st(3)",
        "fcmovb  st(0), st(4)", "fcmovb  st(0), st(5)", "fcmovb  st(0), st(6)", "fcmovb  st(0), st(7)",
        "fcmove  st(0), st(0)", "fcmove  st(0), st(1)", "fcmove  st(0), st(2)", "fcmove  st(0), st(3)",
        "fcmove  st(0), st(4)", "fcmove  st(0), st(5)", "fcmove  st(0), st(6)", "fcmove  st(0), st(7)",
        "fcmovbe st(0), st(0)", "fcmovbe st(0), st(1)", "fcmovbe st(0), st(2)", "fcmovbe st(0), st(3)",
        "fcmovbe st(0), st(4)", "fcmovbe st(0), st(5)", "fcmovbe st(0), st(6)", "fcmovbe st(0), st(7)",
        "fcmovu  st(0), st(0)", "fcmovu  st(0), st(1)", "fcmovu  st(0), st(2)", "fcmovu  st(0), st(3)",
        "fcmovu  st(0), st(4)", "fcmovu  st(0), st(5)", "fcmovu  st(0), st(6)", "fcmovu  st(0), st(7)",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "fucompp", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
    },
    {  // DB
        "fild    #Ed ", "fisttp  #Ed ", "fist    #Ed ", "fistp   #Ed ",
        "%c", "fld     #Et ", "%c", "fstp    #Et ",
        "fcmovnb st(0), st(0)", "fcmovnb st(0), st(1)", "fcmovnb st(0), st(2)", "fcmovnb st(0), st(3)",
        "fcmovnb st(0), st(4)", "fcmovnb st(0), st(5)", "fcmovnb st(0), st(6)", "fcmovnb st(0), st(7)",
        "fcmovne st(0), st(0)", "fcmovne st(0), st(1)", "fcmovne st(0), st(2)", "fcmovne st(0), st(3)",
        "fcmovne st(0), st(4)", "fcmovne st(0), st(5)", "fcmovne st(0), st(6)", "fcmovne st(0), st(7)",
        "fcmovnbe st(0), st(0)", "fcmovnbe st(0), st(1)", "fcmovnbe st(0), st(2)", "fcmovnbe st(0), st(3)",
        "fcmovnbe st(0), st(4)", "fcmovnbe st(0), st(5)", "fcmovnbe st(0), st(6)", "fcmovnbe st(0), st(7)",
        "fcmovnu st(0), st(0)", "fcmovnu st(0), st(1)", "fcmovnu st(0), st(2)", "fcmovnu st(0), st(3)",
        "fcmovnu st(0), st(4)", "fcmovnu st(0), st(5)", "fcmovnu st(0), st(6)", "fcmovnu st(0), st(7)",
        "%c", "%c", "fnclex", "fninit",
        "%c", "%c", "%c", "%c",
        "fucomi  st(0), st(0)", "fucomi  st(0), st(1)", "fucomi  st(0), st(2)", "fucomi  st(0), st(3)",
        "fucomi  st(0), st(4)", "fucomi  st(0), st(5)", "fucomi  st(0), st(6)", "fucomi  st(0), st(7)",
        "fcomi   st(0), st(0)", "fcomi   st(0), st(1)", "fcomi   st(0), st(2)", "fcomi   st(0), st(3)",
        "fcomi   st(0), st(4)", "fcomi   st(0), st(5)", "fcomi   st(0), st(6)", "fcomi   st(0), st(7)",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
    },
    {  // DC
        "fadd    #Eq ", "fmul    #Eq ", "fcom    #Eq ", "fcomp   #Eq ",
        "fsub    #Eq ", "fsubr   #Eq ", "fdiv    #Eq ", "fdivr   #Eq ",
        "fadd    st(0), st(0)", "fadd    st(1), st(0)", "fadd    st(2), st(0)", "fadd    st(3), st(0)",
        "fadd    st(4), st(0)", "fadd    st(5), st(0)", "fadd    st(6), st(0)", "fadd    st(7), st(0)",
        "fmul    st(0), st(0)", "fmul    st(1), st(0)", "fmul    st(2), st(0)", "fmul    st(3), st(0)",
        "fmul    st(4), st(0)", "fmul    st(5), st(0)", "fmul    st(6), st(0)", "fmul    st(7), st(0)",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "fsubr   st(0), st(0)", "fsubr   st(1), st(0)", "fsubr   st(2), st(0)", "fsubr   st(3), st(0)",
        "fsubr   st(4), st(0)", "fsubr   st(5), st(0)", "fsubr   st(6), st(0)", "fsubr   st(7), st(0)",
        "fsub    st(0), st(0)", "fsub    st(1), st(0)", "fsub    st(2), st(0)", "fsub    st(3), st(0)",
        "fsub    st(4), st(0)", "fsub    st(5), st(0)", "fsub    st(6), st(0)", "fsub    st(7), st(0)",
        "fdivr   st(0), st(0)", "fdivr   st(1), st(0)", "fdivr   st(2), st(0)", "fdivr   st(3), st(0)",
        "fdivr   st(4), st(0)", "fdivr   st(5), st(0)", "fdivr   st(6), st(0)", "fdivr   st(7), st(0)",
        "fdiv    st(0), st(0)", "fdiv    st(1), st(0)", "fdiv    st(2), st(0)", "fdiv    st(3), st(0)",
        "fdiv    st(4), st(0)", "fdiv    st(5), st(0)", "fdiv    st(6), st(0)", "fdiv    st(7), st(0)",
    },
    {  // DD
        "fld     #Eq ", "fisttp  #Eq ", "fst     #Eq ", "fstp    #Eq ",
        "frstor  #E  ", "%c", "fnsave  #E  ", "fnstsw  #Ew ",
        "ffree   st(0)", "ffree   st(1)", "ffree   st(2)", "ffree   st(3)",
        "ffree   st(4)", "ffree   st(5)", "ffree   st(6)", "ffree   st(7)",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "fst     st(0)", "fst     st(1)", "fst     st(2)", "fst     st(3)",
        "fst     st(4)", "fst     st(5)", "fst     st(6)", "fst     st(7)",
        "fstp    st(0)", "fstp    st(1)", "fstp    st(2)", "fstp    st(3)",
        "fstp    st(4)", "fstp    st(5)", "fstp    st(6)", "fstp    st(7)",
        "fucom   st(0)", "fucom   st(1)", "fucom   st(2)", "fucom   st(3)",
        "fucom   st(4)", "fucom   st(5)", "fucom   st(6)", "fucom   st(7)",
        "fucomp  st(0)", "fucomp  st(1)", "fucomp  st(2)", "fucomp  st(3)",
        "fucomp  st(4)", "fucomp  st(5)", "fucomp  st(6)", "fucomp  st(7)",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
    },
    {  // DE
        "fiadd   #Ew ", "fimul   #Ew ", "ficom   #Ew ", "ficomp  #Ew ",
        "fisub   #Ew ", "fisubr  #Ew ", "fidiv   #Ew ", "fidivr  #Ew ",
        "faddp   st(0), st(0)", "faddp   st(1), st(0)", "faddp   st(2), st(0)", "faddp   st(3), st(0)",
        "faddp   st(4), st(0)", "faddp   st(5), st(0)", "faddp   st(6), st(0)", "faddp   st(7), st(0)",
        "fmulp   st(0), st(0)", "fmulp   st(1), st(0)", "fmulp   st(2), st(0)", "fmulp   st(3), st(0)",
        "fmulp   st(4), st(0)", "fmulp   st(5), st(0)", "fmulp   st(6), st(0)", "fmulp   st(7), st(0)",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "fcompp", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "fsubrp  st(0), st(0)", "fsubrp  st(1), st(0)", "fsubrp  st(2), st(0)", "fsubrp  st(3), st(0)",
        "fsubrp  st(4), st(0)", "fsubrp  st(5), st(0)", "fsubrp  st(6), st(0)", "fsubrp  st(7), st(0)",
        "fsubp   st(0), st(0)", "fsubp   st(1), st(0)", "fsubp   st(2), st(0)", "fsubp   st(3), st(0)",
        "fsubp   st(4), st(0)", "fsubp   st(5), st(0)", "fsubp   st(6), st(0)", "fsubp   st(7), st(0)",
        "fdivrp  st(0), st(0)", "fdivrp  st(1), st(0)", "fdivrp  st(2), st(0)", "fdivrp  st(3), st(0)",
        "fdivrp  st(4), st(0)", "fdivrp  st(5), st(0)", "fdivrp  st(6), st(0)", "fdivrp  st(7), st(0)",
        "fdivp   st(0), st(0)", "fdivp   st(1), st(0)", "fdivp   st(2), st(0)", "fdivp   st(3), st(0)",
        "fdivp   st(4), st(0)", "fdivp   st(5), st(0)", "fdivp   st(6), st(0)", "fdivp   st(7), st(0)",
    },
    {  // DF
        "fild    #Ew ", "fisttp  #Ew ", "fist    #Ew ", "fistp   #Ew ",
        "fbld    #Et ", "fild    #Eq ", "fbstp   #Et ", "fistp   #Eq ",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "fnstsw  ax", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
        "fucomip st(0), st(0)", "fucomip st(0), st(1)", "fucomip st(0), st(2)", "fucomip st(0), st(3)",
        "fucomip st(0), st(4)", "fucomip st(0), st(5)", "fucomip st(0), st(6)", "fucomip st(0), st(7)",
        "fcomip  st(0), st(0)", "fcomip  st(0), st(1)", "fcomip  st(0), st(2)", "fcomip  st(0), st(3)",
        "fcomip  st(0), st(4)", "fcomip  st(0), st(5)", "fcomip  st(0), st(6)", "fcomip  st(0), st(7)",
        "%c", "%c", "%c", "%c",
        "%c", "%c", "%c", "%c",
    },
};
