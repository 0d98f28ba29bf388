; The machine code that the tape test's BASIC loader takes with LOAD "" CODE and runs.
;
; 32768 (RANDOMIZE USR 32768): prints a message, writes a pattern to PATTERN and sets the
;        border, then returns to BASIC.
; 32771 (RANDOMIZE USR 32771): takes the blocks that follow this one on the tape with the
;        ROM's block loader, one call each, recording what every call left behind.

CHAN_OPEN   equ 0x1601          ; A = stream: opens it for RST 10h
LD_BYTES    equ 0x0556          ; IX = where, DE = how many, A = flag, carry set = LOAD
BORDCR      equ 23624           ; the border colour the ROM restores after a tape operation

PATTERN     equ 0x9000          ; 256 bytes, byte i = i XOR 0xA5
BLOCKS      equ 0xA000          ; the blocks loaded by the second entry, see `calls`
RESULTS     equ 0xA800          ; per call: IX after it (2 bytes), F after it (1 byte)

        org 32768

        jp show
        jp load_blocks

show:
        ld a, 2
        call CHAN_OPEN
        ld hl, message
        call print
        ld hl, PATTERN
        ld b, 0
fill:   ld a, l
        xor 0xA5
        ld (hl), a
        inc hl
        djnz fill
        ld a, 4                 ; green
        out (0xFE), a
        ld a, 4 * 8 + 7         ; keep it green when the ROM redraws the lower screen
        ld (BORDCR), a
        ret

; Each entry of `calls` is IX, DE and the flag byte for one call of the block loader.
; BLOCKS to BLOCKS + 0x7FF is first filled with 0xEE so that what the calls did not write
; shows.
load_blocks:
        ld hl, BLOCKS
        ld de, BLOCKS + 1
        ld bc, 0x07FF
        ld (hl), 0xEE
        ldir
        ld hl, RESULTS
        ld (result_at), hl
        ld hl, calls
next:   ld e, (hl)
        inc hl
        ld d, (hl)
        inc hl
        ld a, d
        or e
        jr z, loaded            ; IX = 0 ends the list
        push de
        pop ix
        ld e, (hl)
        inc hl
        ld d, (hl)
        inc hl
        ld a, (hl)
        inc hl
        push hl
        scf                     ; LOAD, not VERIFY
        call LD_BYTES
        push af
        ld hl, (result_at)
        push ix
        pop de
        ld (hl), e
        inc hl
        ld (hl), d
        inc hl
        pop de                  ; E = F
        ld (hl), e
        inc hl
        ld (result_at), hl
        pop hl
        jr next
loaded: ld a, 2
        call CHAN_OPEN
        ld hl, done_message
        jp print

; Prints the string at HL up to its 0xFF through RST 10h.
print:  ld a, (hl)
        cp 0xFF
        ret z
        rst 0x10
        inc hl
        jr print

message:
        db 22, 2, 0, "MARROWGLEAM TAPE TEST", 0xFF
done_message:
        db 22, 6, 0, "BLOCKS LOADED", 0xFF

result_at:
        dw 0

calls:
        dw BLOCKS + 0x000, 0            ; an empty block
        db 0xFF
        dw BLOCKS + 0x100, 17           ; a header
        db 0x00
        dw BLOCKS + 0x200, 300          ; data
        db 0xFF
        dw BLOCKS + 0x400, 100          ; data the tape image ends inside
        db 0xFF
        dw 0

; A table that is loaded but never run: the tests cut the tape image inside it.
tail:
        db "0123456789ABCDEFGHIJKLMNOPQRSTUV"
