; A tape loader that times the EAR edges itself, without the ROM: it loads the blocks of a
; tape one after another into memory, each block whole (flag, data, checksum). It runs with
; interrupts disabled and leaves them so.
;
; The test puts, before it runs the code at `start`:
;   HALF      the loop count that tells a short half-pulse (a 0 bit, a sync pulse) from a
;             long one (a 1 bit, the pilot): between the two
;   BLOCKS    the number of blocks, then for each its length (2 bytes each)
;   DEST      where the first block goes; the next follows it
; and finds afterwards:
;   STATUS    0 while loading, 1 when every block loaded, 2 when an edge did not come in time
;             during a block
;
; The edge wait counts passes of a 46 T-state loop (uncontended, plus the ULA port's
; contention) until bit 6 of port 0xFE changes; the count of each half-pulse is compared
; with HALF. A block begins after 64 long half-pulses in a row (the pilot) and a short one
; (the first sync pulse); the second sync pulse is skipped; each bit is then two half-pulses,
; long together for a 1.

        org 0x8000

start:  jp load

HALF:   db 33
STATUS: db 0
DEST:   dw 0xC000
BLOCKS: db 0
LENGTHS:
        ds 16

load:   di
        ld c, 0xFE
        ld ix, (DEST)
        ld iy, LENGTHS
        ld a, (BLOCKS)
        ld h, a                 ; H = blocks left
        in a, (c)
        and 0x40
        ld e, a                 ; E = the level last seen
next_block:
        ld a, h
        or a
        jr z, all_done
        ; the pilot: 64 long half-pulses in a row
pilot_restart:
        ld l, 64
pilot:  call edge
        jr c, pilot_restart     ; no edge for a long time: still waiting
        ld a, (HALF)
        cp b
        jr nc, pilot_restart    ; short: not a pilot
        dec l
        jr nz, pilot
        ; more pilot, until the first short half-pulse: the first sync pulse
sync:   call edge
        jr c, pilot_restart
        ld a, (HALF)
        cp b
        jr c, sync              ; still long: the pilot goes on
        call edge               ; the second sync pulse
        jr c, failed
        ld a, (iy+0)
        ld (left), a
        ld a, (iy+1)
        ld (left + 1), a
get_byte:   ld d, 1                 ; a marker bit: the byte is complete when it shifts out
get_bit:    call edge
        jr c, failed
        ld a, b
        ld (half1), a
        call edge
        jr c, failed
        ld a, (half1)
        add a, b                ; the two halves together
        srl a                   ; their mean
        push hl
        ld hl, HALF
        cp (hl)                 ; carry when the mean is short: a 0
        pop hl
        ccf                     ; carry for a 1
        rl d
        jr nc, get_bit
        ld (ix+0), d
        inc ix
        push hl
        ld hl, (left)
        dec hl
        ld (left), hl
        ld a, h
        or l
        pop hl
        jr nz, get_byte
        inc iy
        inc iy
        dec h
        jr next_block
all_done:
        ld a, 1
        ld (STATUS), a
        ret
failed: ld a, 2
        ld (STATUS), a
        ret

; Waits for bit 6 of port 0xFE to differ from E. B = passes counted; carry set when none
; came within 255 passes.
edge:   ld b, 0
edge_loop:
        inc b                   ; 4
        jr z, edge_timeout      ; 7
        in a, (c)               ; 12
        and 0x40                ; 7
        cp e                    ; 4
        jr z, edge_loop         ; 12 -> 46 a pass
        ld e, a
        or a                    ; carry clear
        ret
edge_timeout:
        ld b, 255
        scf
        ret

left:  dw 0
half1:  db 0
