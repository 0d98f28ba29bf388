; Run from a 48K snapshot with interrupts off: HL = the screen address of the first
; character cell, DE = the message, ended by 0xFF. Records SP, draws the message with the
; ROM's character set and waits.

CHARS       equ 0x3D00          ; the ROM's glyphs of codes 32 to 127, 8 bytes each
SP_AT       equ 0x9000          ; SP as the program found it

        org 0x8000

        ld (SP_AT), sp
next:   ld a, (de)
        cp 0xFF
        jr z, wait
        push de
        push hl
        ex de, hl               ; DE = the cell
        sub 32
        ld l, a
        ld h, 0
        add hl, hl
        add hl, hl
        add hl, hl
        ld bc, CHARS
        add hl, bc              ; HL = the glyph
        ld b, 8
row:    ld a, (hl)
        ld (de), a
        inc hl
        inc d                   ; a cell's next pixel line is 256 bytes on
        djnz row
        pop hl
        pop de
        inc hl
        inc de
        jr next
wait:   jr wait
