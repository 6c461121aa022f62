#include "PpmModel.h"

namespace {
const int MAX_O = 64;
const int PERIOD_BITS = 7;
const int TOT_BITS = 14;
const int INTERVAL = 1 << 7;
const int BIN_SCALE = 1 << TOT_BITS;
const int MAX_FREQ = 124;
const uint32_t TOP = 1u << 24;
const uint32_t BOT = 1u << 15;
const uint32_t STATE_SIZE = 6;
// A suffix chain is at most MAX_O + 1 contexts long; a longer walk means the
// heap does not hold a model.
const int kChainLimit = 2 * MAX_O + 8;

const uint16_t kInitBinEsc[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};
#define M2_LIKELY(x) __builtin_expect(!!(x), 1)
#define M2_UNLIKELY(x) __builtin_expect(!!(x), 0)

inline uint16_t load16(const uint8_t *p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline uint32_t load32(const uint8_t *p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void store16(uint8_t *p, uint16_t v) { std::memcpy(p, &v, 2); }
inline void store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }

// contextSane on heap bounds held in locals (stores through the heap base
// would otherwise make the compiler reload them for every check)
inline bool saneContext(const uint8_t *mem, uint32_t heapStart, uint32_t span, uint32_t c)
{
    if (c - heapStart > span)
        return false;
    const unsigned n = load16(mem + c);
    if (n - 1u > 255u)
        return false;
    return n == 1 || load32(mem + c + 4) - heapStart <= span;
}

const uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};

struct BinTable {
    uint16_t v[128][64];
    BinTable()
    {
        for (int i = 0; i < 128; i++)
            for (int k = 0; k < 8; k++)
                for (int m = 0; m < 64; m += 8)
                    v[i][k + m] = uint16_t(BIN_SCALE - kInitBinEsc[k] / (i + 2));
    }
};
const BinTable &initialBinSumm()
{
    static const BinTable t;
    return t;
}
}

PpmModel::PpmModel()
{
    std::memset(charMask_, 0, sizeof charMask_);
    std::memset(ns2Indx_, 0, sizeof ns2Indx_);
    std::memset(ns2BSIndx_, 0, sizeof ns2BSIndx_);
    std::memset(hb2Flag_, 0, sizeof hb2Flag_);
    std::memset(see2_, 0, sizeof see2_);
    std::memset(&dummySee_, 0, sizeof dummySee_);
    std::memset(binSumm_, 0, sizeof binSumm_);
}

PpmModel::~PpmModel() {}

void PpmModel::freeHeap()
{
    heap_.stopHeap();
    minContext_ = maxContext_ = foundState_ = 0;
}

// ---- range decoder ----

void PpmModel::initDecoder()
{
    low_ = code_ = 0;
    range_ = 0xFFFFFFFFu;
    coderFailed_ = false;
    for (int i = 0; i < 4; i++)
        code_ = (code_ << 8) | uint32_t(source_->readByte());
}

void PpmModel::removeRange()
{
    low_ += range_ * lowCount_;
    range_ *= highCount_ - lowCount_;
}

void PpmModel::normalize()
{
    for (;;) {
        if ((low_ ^ (low_ + range_)) >= TOP) {
            if (range_ >= BOT)
                return;
            range_ = (0u - low_) & (BOT - 1);
        }
        if (range_ == 0) {
            // Nothing can ever be decoded from an empty range.
            coderFailed_ = true;
            return;
        }
        code_ = (code_ << 8) | uint32_t(source_->readByte());
        range_ <<= 8;
        low_ <<= 8;
    }
}

// ---- model start ----

bool PpmModel::decodeInit(PpmByteSource &source, int &escChar, bool longOutput)
{
    source_ = &source;
    int flags = source.readByte();
    bool reset = (flags & 0x20) != 0;
    int maxMB = 0;
    if (reset)
        maxMB = source.readByte();
    else if (heap_.allocatedSize() == 0)
        return false;
    if (flags & 0x40)
        escChar = source.readByte();
    initDecoder();
    if (source.exhausted)
        return false;
    if (reset) {
        int order = (flags & 0x1F) + 1;
        if (order > 16)
            order = 16 + (order - 16) * 3;
        if (order == 1) {
            freeHeap();
            return false;
        }
        if (!heap_.startHeap(uint32_t(maxMB) + 1)) {
            freeHeap();
            return false;
        }
        if (longOutput)
            heap_.adviseHugePages();
        corrupt_ = false;
        startModel(order);
    }
    return minContext_ != 0;
}

void PpmModel::startModel(int maxOrder)
{
    escCount_ = 1;
    maxOrder_ = maxOrder;
    restartModel();
    ns2BSIndx_[0] = 2 * 0;
    ns2BSIndx_[1] = 2 * 1;
    std::memset(ns2BSIndx_ + 2, 2 * 2, 9);
    std::memset(ns2BSIndx_ + 11, 2 * 3, 256 - 11);
    int i = 0;
    for (; i < 3; i++)
        ns2Indx_[i] = uint8_t(i);
    for (int m = i, k = 1, step = 1; i < 256; i++) {
        ns2Indx_[i] = uint8_t(m);
        if (!--k) {
            k = ++step;
            m++;
        }
    }
    std::memset(hb2Flag_, 0, 0x40);
    std::memset(hb2Flag_ + 0x40, 0x08, 0x100 - 0x40);
    dummySee_.shift = PERIOD_BITS;
}

void PpmModel::restartModel()
{
    std::memset(charMask_, 0, sizeof charMask_);
    heap_.initHeap();
    initRL_ = -(maxOrder_ < 12 ? maxOrder_ : 12) - 1;
    uint32_t ctx = heap_.allocContext();
    uint32_t st = heap_.allocUnits(256 / 2);
    minContext_ = maxContext_ = ctx;
    setSuffix(ctx, 0);
    orderFall_ = maxOrder_;
    setNumStats(ctx, 256);
    setSummFreq(ctx, 256 + 1);
    setStats(ctx, st);
    foundState_ = st;
    runLength_ = initRL_;
    prevSuccess_ = 0;
    for (unsigned i = 0; i < 256; i++)
        storeState(st + i * STATE_SIZE, State{uint8_t(i), 1, 0});
    std::memcpy(binSumm_, initialBinSumm().v, sizeof binSumm_);
    for (int i = 0; i < 25; i++)
        for (int k = 0; k < 16; k++)
            see2_[i][k].init(5 * i + 10);
}

void PpmModel::clearMask()
{
    escCount_ = 1;
    std::memset(charMask_, 0, sizeof charMask_);
}

// ---- symbol decoding ----

void PpmModel::update1(uint32_t p)
{
    uint32_t ctx = minContext_;
    foundState_ = p;
    setFreq(p, freq(p) + 4);
    setSummFreq(ctx, summFreq(ctx) + 4);
    if (freq(p) > freq(p - STATE_SIZE)) {
        swapStates(p, p - STATE_SIZE);
        foundState_ = p - STATE_SIZE;
        if (freq(foundState_) > MAX_FREQ)
            rescale();
    }
}

void PpmModel::update2(uint32_t p)
{
    uint32_t ctx = minContext_;
    foundState_ = p;
    setFreq(p, freq(p) + 4);
    setSummFreq(ctx, summFreq(ctx) + 4);
    if (freq(p) > MAX_FREQ)
        rescale();
    escCount_++;
    runLength_ = initRL_;
}

bool PpmModel::decodeSymbol2()
{
    uint8_t *const mem = heap_.mem;
    const uint32_t ctx = minContext_;
    const unsigned n = load16(mem + ctx);
    const int diff = int(n) - numMasked_;
    if (diff <= 0)
        return false;
    See *see;
    uint32_t total;
    if (n != 256) {
        const uint32_t suf = load32(mem + ctx + 8);
        if (!saneContext(mem, heap_.heapStart, heap_.heapEnd - heap_.heapStart, suf))
            return false;
        see = &see2_[ns2Indx_[diff - 1]]
                    [(diff < int(load16(mem + suf)) - int(n)) + 2 * (load16(mem + ctx + 2) < 11 * n) +
                     4 * (numMasked_ > diff) + hiBitsFlag_];
        total = see->mean();
    } else {
        see = &dummySee_;
        total = 1;
    }
    // the unmasked states: their number and frequency sum
    const uint8_t esc = escCount_;
    const uint8_t *const first = mem + load32(mem + ctx + 4);
    const uint8_t *const end = first + size_t(n) * STATE_SIZE;
    uint32_t hiCnt = 0;
    unsigned open = 0;
    // Branch-free: whether a state is masked is hard to predict.
    for (const uint8_t *q = first; q != end; q += STATE_SIZE) {
        const unsigned unmasked = charMask_[q[0]] != esc;
        hiCnt += q[1] & (0u - unmasked);
        open += unmasked;
    }
    if (M2_UNLIKELY(open != unsigned(diff)))
        return false;
    total += hiCnt;
    if (range_ / total == 0) {
        coderFailed_ = true;
        return false;
    }
    range_ /= total;
    // The count, (code - low) / range, is only compared: compare products.
    const uint64_t offset = code_ - low_, r = range_;
    if (offset >= total * r)
        return false;
    if (offset < hiCnt * r) {
        // the first state whose running sum passes the count; masked states
        // add nothing, so it is an unmasked one
        const uint8_t *q = first;
        uint32_t sum = q[1] & (0u - uint32_t(charMask_[q[0]] != esc));
        while (sum * r <= offset) {
            q += STATE_SIZE;
            sum += q[1] & (0u - uint32_t(charMask_[q[0]] != esc));
        }
        highCount_ = sum;
        lowCount_ = sum - q[1];
        see->update();
        update2(uint32_t(q - mem));
    } else {
        lowCount_ = hiCnt;
        highCount_ = total;
        // masking the masked ones again changes nothing
        for (const uint8_t *q = first; q != end; q += STATE_SIZE)
            charMask_[q[0]] = esc;
        see->summ = uint16_t(see->summ + total);
        numMasked_ = int(n);
    }
    return true;
}

void PpmModel::rescale()
{
    uint32_t ctx = minContext_;
    int oldNS = numStats(ctx);
    int i = oldNS - 1;
    uint32_t st = stats(ctx);
    for (uint32_t p = foundState_; p != st; p -= STATE_SIZE)
        swapStates(p, p - STATE_SIZE);
    setFreq(st, freq(st) + 4);
    setSummFreq(ctx, summFreq(ctx) + 4);
    int escFreq = summFreq(ctx) - freq(st);
    int adder = (orderFall_ != 0);
    unsigned f = (freq(st) + adder) >> 1;
    setFreq(st, f);
    unsigned summ = f;
    uint32_t p = st;
    do {
        p += STATE_SIZE;
        escFreq -= freq(p);
        f = (freq(p) + adder) >> 1;
        setFreq(p, f);
        summ += f;
        if (f > freq(p - STATE_SIZE)) {
            State tmp = loadState(p);
            uint32_t p1 = p;
            do {
                copyState(p1, p1 - STATE_SIZE);
                p1 -= STATE_SIZE;
            } while (p1 != st && tmp.freq > freq(p1 - STATE_SIZE));
            storeState(p1, tmp);
        }
    } while (--i);
    setSummFreq(ctx, summ);
    if (freq(p) == 0) {
        int zeros = 0;
        do {
            zeros++;
            p -= STATE_SIZE;
        } while (freq(p) == 0 && p != st);
        escFreq += zeros;
        int ns = oldNS - zeros;
        setNumStats(ctx, ns);
        if (ns == 1) {
            State tmp = loadState(st);
            do {
                tmp.freq = uint8_t(tmp.freq - (tmp.freq >> 1));
                escFreq >>= 1;
            } while (escFreq > 1);
            heap_.freeUnits(st, (oldNS + 1) >> 1);
            foundState_ = oneState(ctx);
            storeState(foundState_, tmp);
            return;
        }
    }
    escFreq -= escFreq >> 1;
    setSummFreq(ctx, summFreq(ctx) + escFreq);
    int n0 = (oldNS + 1) >> 1, n1 = (numStats(ctx) + 1) >> 1;
    if (n0 != n1)
        setStats(ctx, heap_.shrinkUnits(st, n0, n1));
    foundState_ = stats(ctx);
}

bool PpmModel::updateAfterSymbol()
{
    updateModel();
    if (corrupt_)
        return false;
    if (escCount_ == 0)
        clearMask();
    return true;
}

bool PpmModel::decodeEscapes()
{
    uint8_t *const mem = heap_.mem;
    const uint32_t pText = heap_.pText, heapStart = heap_.heapStart, heapEnd = heap_.heapEnd;
    int steps = 0;
    do {
        normalize();
        if (coderFailed_)
            return false;
        uint32_t c = minContext_;
        const int masked = numMasked_;
        do {
            orderFall_++;
            c = load32(mem + c + 8);
            minContext_ = c;
            if (c <= pText || c > heapEnd || !saneContext(mem, heapStart, heapEnd - heapStart, c) ||
                ++steps > kChainLimit)
                return false;
        } while (load16(mem + c) == masked);
        if (!decodeSymbol2())
            return false;
        removeRange();
    } while (!foundState_);
    return true;
}

// ---- model update ----

uint32_t PpmModel::createSuccessors(bool skip, uint32_t p1)
{
    uint8_t *const mem = heap_.mem;
    const uint32_t heapStart = heap_.heapStart, span = heap_.heapEnd - heap_.heapStart;
    uint32_t pc = minContext_;
    const uint32_t upBranch = load32(mem + foundState_ + 2);
    const uint8_t fsym = mem[foundState_];
    uint32_t ps[MAX_O + 2];
    const int psCap = MAX_O + 2;
    int n = 0;
    uint32_t p = 0;
    bool walk = true;
    if (!skip) {
        ps[n++] = foundState_;
        if (!load32(mem + pc + 8))
            walk = false;
    }
    if (walk) {
        bool entry = false;
        if (p1) {
            p = p1;
            pc = load32(mem + pc + 8);
            entry = true;
        }
        for (;;) {
            if (!entry) {
                pc = load32(mem + pc + 8);
                if (M2_UNLIKELY(!saneContext(mem, heapStart, span, pc))) {
                    corrupt_ = true;
                    return 0;
                }
                if (load16(mem + pc) != 1) {
                    p = findState(pc, fsym);
                    if (M2_UNLIKELY(!p)) {
                        corrupt_ = true;
                        return 0;
                    }
                } else {
                    p = pc + 2;
                }
            }
            entry = false;
            const uint32_t next = load32(mem + p + 2);
            if (next != upBranch) {
                pc = next;
                break;
            }
            if (M2_UNLIKELY(n >= psCap)) {
                corrupt_ = true;
                return 0;
            }
            ps[n++] = p;
            if (!load32(mem + pc + 8))
                break;
        }
    }
    if (n == 0)
        return pc;
    if (M2_UNLIKELY(upBranch - heapStart > span || pc - heapStart > span)) {
        corrupt_ = true;
        return 0;
    }
    const uint8_t upSymbol = mem[upBranch];
    uint8_t upFreq;
    if (load16(mem + pc) != 1) {
        if (pc <= heap_.pText)
            return 0;
        if (M2_UNLIKELY(!saneContext(mem, heapStart, span, pc))) {
            corrupt_ = true;
            return 0;
        }
        p = findState(pc, upSymbol);
        if (M2_UNLIKELY(!p)) {
            corrupt_ = true;
            return 0;
        }
        uint32_t cf = mem[p + 1] - 1u;
        uint32_t s0 = load16(mem + pc + 2) - load16(mem + pc) - cf;
        if (s0 == 0)
            s0 = 1;  // a summary equal to the plain frequency sum: no division by zero
        upFreq = uint8_t(1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((2 * cf + 3 * s0 - 1) / (2 * s0))));
    } else {
        upFreq = mem[pc + 3];
    }
    // one-symbol contexts down the chain, each holding the up branch inline
    do {
        const uint32_t c = heap_.allocContext();
        if (!c)
            return 0;
        store16(mem + c, 1);
        mem[c + 2] = upSymbol;
        mem[c + 3] = upFreq;
        store32(mem + c + 4, upBranch + 1);
        store32(mem + c + 8, pc);
        store32(mem + ps[--n] + 2, c);
        pc = c;
    } while (n);
    return pc;
}

void PpmModel::updateModel()
{
    uint8_t *const mem = heap_.mem;
    const uint32_t heapStart = heap_.heapStart, span = heap_.heapEnd - heap_.heapStart;
    const uint32_t fsState = foundState_;
    const uint8_t fsSymbol = mem[fsState];
    const unsigned fsFreq = mem[fsState + 1];
    uint32_t fsSuccessor = load32(mem + fsState + 2);
    // usually the next current context: fetch it while the model is updated
    __builtin_prefetch(mem + fsSuccessor);
    uint32_t p = 0;
    uint32_t pc = load32(mem + minContext_ + 8);
    if (fsFreq < MAX_FREQ / 4 && pc) {
        if (M2_UNLIKELY(!saneContext(mem, heapStart, span, pc))) {
            corrupt_ = true;
            return;
        }
        if (load16(mem + pc) != 1) {
            p = load32(mem + pc + 4);
            if (mem[p] != fsSymbol) {
                p = findState(pc, fsSymbol);
                if (M2_UNLIKELY(!p)) {
                    corrupt_ = true;
                    return;
                }
                if (mem[p + 1] >= mem[p + 1 - STATE_SIZE]) {
                    swapStates(p, p - STATE_SIZE);
                    p -= STATE_SIZE;
                }
            }
            if (mem[p + 1] < MAX_FREQ - 9) {
                mem[p + 1] = uint8_t(mem[p + 1] + 2);
                store16(mem + pc + 2, uint16_t(load16(mem + pc + 2) + 2));
            }
        } else {
            p = pc + 2;
            mem[p + 1] = uint8_t(mem[p + 1] + (mem[p + 1] < 32));
        }
    }
    if (!orderFall_) {
        uint32_t r = createSuccessors(true, p);
        if (corrupt_)
            return;
        minContext_ = maxContext_ = r;
        store32(mem + fsState + 2, r);
        if (!r)
            goto restart;
        return;
    }
    {
        mem[heap_.pText++] = fsSymbol;
        uint32_t succ = heap_.pText;
        if (heap_.pText >= heap_.unitsStart)
            goto restart;
        if (fsSuccessor) {
            if (fsSuccessor <= heap_.pText) {
                fsSuccessor = createSuccessors(false, p);
                if (corrupt_)
                    return;
                if (!fsSuccessor)
                    goto restart;
            }
            if (!--orderFall_) {
                succ = fsSuccessor;
                heap_.pText -= (maxContext_ != minContext_);
            }
        } else {
            store32(mem + fsState + 2, succ);
            fsSuccessor = minContext_;
        }
        const uint32_t minCtx = minContext_;
        const unsigned ns = load16(mem + minCtx);
        const uint32_t s0 = load16(mem + minCtx + 2) - ns - (fsFreq - 1u);
        int steps = 0;
        for (pc = maxContext_; pc != minCtx; pc = load32(mem + pc + 8)) {
            if (M2_UNLIKELY(++steps > kChainLimit || !saneContext(mem, heapStart, span, pc))) {
                corrupt_ = true;
                return;
            }
            const unsigned ns1 = load16(mem + pc);
            uint32_t st;
            unsigned sf;
            if (ns1 != 1) {
                st = load32(mem + pc + 4);
                if ((ns1 & 1) == 0) {
                    st = heap_.expandUnits(st, int(ns1 >> 1));
                    if (!st)
                        goto restart;
                    store32(mem + pc + 4, st);
                }
                sf = load16(mem + pc + 2);
                sf = uint16_t(sf + (2 * ns1 < ns) + 2 * ((4 * ns1 <= ns) & (sf <= 8 * ns1)));
            } else {
                st = heap_.allocUnits(1);
                if (!st)
                    goto restart;
                copyState(st, pc + 2);
                store32(mem + pc + 4, st);
                const unsigned f = mem[st + 1];
                mem[st + 1] = uint8_t(f < MAX_FREQ / 4 - 1 ? f * 2 : MAX_FREQ - 4);
                sf = uint16_t(mem[st + 1] + initEsc_ + (ns > 3));
            }
            uint32_t cf = 2u * fsFreq * (sf + 6);
            const uint32_t t = s0 + sf;
            if (cf < 6 * t) {
                cf = 1 + (cf > t) + (cf >= 4 * t);
                sf += 3;
            } else {
                cf = 4 + (cf >= 9 * t) + (cf >= 12 * t) + (cf >= 15 * t);
                sf += cf;
            }
            store16(mem + pc + 2, uint16_t(sf));
            uint8_t *const np = mem + st + ns1 * STATE_SIZE;
            np[0] = fsSymbol;
            np[1] = uint8_t(cf);
            store32(np + 2, succ);
            store16(mem + pc, uint16_t(ns1 + 1));
        }
        maxContext_ = minContext_ = fsSuccessor;
        return;
    }
restart:
    restarts_++;
    restartModel();
    escCount_ = 0;
}

int PpmModel::decodeChar()
{
    uint8_t byte;
    int last;
    const int32_t noBorder = 0;
    return decodeRun(&byte, 1, -1, &noBorder, &noBorder, last) == 1 ? byte : -1;
}

int PpmModel::decodeRun(uint8_t *out, int max, int stop, const int32_t *inPos, const int32_t *border, int &last)
{
    // Neither the heap nor the source goes away while bytes are decoded.
    if (!heap_.mem || !source_ || corrupt_ || coderFailed_ || source_->exhausted) {
        last = -1;
        return 0;
    }
    // The coder and the model's position live in locals while bytes come from
    // the first context tried; they go back to the members whenever a member
    // function takes over (an escape, the model update, a rescale) and when
    // the run ends.
    uint8_t *const mem = heap_.mem;
    const uint32_t heapStart = heap_.heapStart, heapEnd = heap_.heapEnd, span = heapEnd - heapStart;
    uint32_t pText = heap_.pText;
    uint32_t low = low_, code = code_, range = range_;
    uint32_t ctx = minContext_, fs = foundState_;
    int runLength = runLength_;
    uint8_t prevSuccess = prevSuccess_;
    const auto save = [&] {
        low_ = low;
        code_ = code;
        range_ = range;
        minContext_ = maxContext_ = ctx;
        foundState_ = fs;
        prevSuccess_ = prevSuccess;
        runLength_ = runLength;
    };
    const auto load = [&] {
        low = low_;
        code = code_;
        range = range_;
        ctx = minContext_;
        fs = foundState_;
        prevSuccess = prevSuccess_;
        runLength = runLength_;
        pText = heap_.pText;
    };
    int n = 0;
    for (;;) {
        int sym;
        // pText never lies below the heap start, so these two bounds place the
        // context inside the heap, above the text area.
        if (M2_UNLIKELY(ctx <= pText || ctx > heapEnd || !fs))
            goto failed;
        {
            const unsigned ns = load16(mem + ctx);
            if (ns == 1) {
                // binary context: its one state is kept inline; most of them
                // predict their symbol, so fetch the context that follows it
                // and, as soon as it is there, what that context starts with
                // (the symbol array or inline successor, and the suffix).
                {
                    const uint32_t next = load32(mem + ctx + 4);
                    __builtin_prefetch(mem + next);
                    if (M2_LIKELY(next - heapStart <= span)) {
                        __builtin_prefetch(mem + load32(mem + next + 4));
                        __builtin_prefetch(mem + load32(mem + next + 8));
                    }
                }
                const uint32_t suf = load32(mem + ctx + 8);
                if (M2_UNLIKELY(suf - heapStart > span))
                    goto failed;
                const unsigned sufNs = load16(mem + suf);
                if (M2_UNLIKELY(sufNs - 1u > 255u))
                    goto failed;
                if (sufNs != 1 && M2_UNLIKELY(load32(mem + suf + 4) - heapStart > span))
                    goto failed;
                const unsigned f = mem[ctx + 3];
                if (M2_UNLIKELY(f - 1u > 127u))
                    goto failed;
                const uint8_t rsym = mem[ctx + 2];
                const uint8_t hiBits = hb2Flag_[mem[fs]];
                uint16_t &bs = binSumm_[f - 1][prevSuccess + ns2BSIndx_[sufNs - 1] + hiBits + 2 * hb2Flag_[rsym] +
                                               ((runLength >> 26) & 0x20)];
                const uint32_t r = range >> TOT_BITS;
                const unsigned b = bs;
                if (M2_UNLIKELY(r == 0))
                    goto coderFailed;
                hiBitsFlag_ = hiBits;
                // (code - low) / r < b, without the division (b < 2^14, r < 2^18)
                if (M2_UNLIKELY(code - low >= b * r)) {
                    low += r * b;
                    range = r * (BIN_SCALE - b);
                    bs = uint16_t(b - ((b + 32) >> PERIOD_BITS));
                    initEsc_ = kExpEscape[bs >> 10];
                    numMasked_ = 1;
                    charMask_[rsym] = escCount_;
                    prevSuccess = 0;
                    goto escaped;
                }
                mem[ctx + 3] = uint8_t(f + (f < 128));
                bs = uint16_t(b + INTERVAL - ((b + 32) >> PERIOD_BITS));
                prevSuccess = 1;
                runLength++;
                range = r * b;
                fs = ctx + 2;
            } else {
                if (M2_UNLIKELY(ns - 1u > 255u))
                    goto failed;
                uint32_t p = load32(mem + ctx + 4);
                // the suffix is wanted on an escape and by the model update
                const uint32_t suf = load32(mem + ctx + 8);
                __builtin_prefetch(mem + suf);
                if (M2_UNLIKELY(p <= pText || p > heapEnd))
                    goto failed;
                // The first state is the likeliest: fetch the context it leads
                // to while the coder divides.
                __builtin_prefetch(mem + load32(mem + p + 2));
                const uint32_t total = load16(mem + ctx + 2);
                if (M2_UNLIKELY(total == 0 || range / total == 0))
                    goto coderFailed;
                const uint32_t r = range / total;
                // The symbol's count is (code - low) / r; it is only compared,
                // so the comparisons are made on products instead.
                const uint64_t offset = code - low;
                if (M2_UNLIKELY(offset >= uint64_t(total) * r))
                    goto failed;
                uint32_t hiCnt = mem[p + 1];
                if (offset < uint64_t(hiCnt) * r) {
                    prevSuccess = (2 * hiCnt > total);
                    runLength += prevSuccess;
                    range = r * hiCnt;
                    hiCnt += 4;
                    mem[p + 1] = uint8_t(hiCnt);
                    store16(mem + ctx + 2, uint16_t(total + 4));
                    fs = p;
                    if (hiCnt > unsigned(MAX_FREQ)) {
                        minContext_ = ctx;
                        foundState_ = p;
                        rescale();
                        fs = foundState_;
                    }
                } else {
                    const uint32_t end = p + ns * STATE_SIZE;
                    unsigned fp = 0;
                    for (p += STATE_SIZE; p != end; p += STATE_SIZE) {
                        fp = mem[p + 1];
                        hiCnt += fp;
                        if (uint64_t(hiCnt) * r > offset)
                            break;
                    }
                    if (p == end) {
                        // escape: every symbol of this context is masked
                        hiBitsFlag_ = hb2Flag_[mem[fs]];
                        low += r * hiCnt;
                        range = r * (total - hiCnt);
                        numMasked_ = int(ns);
                        const uint8_t esc = escCount_;
                        for (uint32_t s = end - ns * STATE_SIZE; s != end; s += STATE_SIZE)
                            charMask_[mem[s]] = esc;
                        prevSuccess = 0;
                        goto escaped;
                    }
                    __builtin_prefetch(mem + load32(mem + p + 2));
                    prevSuccess = 0;
                    low += r * (hiCnt - fp);
                    range = r * fp;
                    minContext_ = ctx;
                    update1(p);
                    fs = foundState_;
                }
            }
        }
        sym = mem[fs];
        {
            const uint32_t succ = load32(mem + fs + 2);
            if (M2_LIKELY(!orderFall_ && succ > pText)) {
                ctx = succ;
            } else {
                save();
                if (!updateAfterSymbol()) {
                    last = -1;
                    return n;
                }
                load();
            }
        }
        // The next symbol starts with the symbol array (or, for a binary
        // context, the successor of its state) and the suffix of the new
        // context: fetch both while the coder normalises.
        if (M2_LIKELY(ctx - heapStart <= span)) {
            __builtin_prefetch(mem + load32(mem + ctx + 4));
            __builtin_prefetch(mem + load32(mem + ctx + 8));
        }
        while ((low ^ (low + range)) < TOP || range < BOT) {
            if ((low ^ (low + range)) >= TOP)
                range = (0u - low) & (BOT - 1);
            if (M2_UNLIKELY(range == 0)) {
                // Nothing can ever be decoded from an empty range.
                coderFailed_ = true;
                last = -1;
                return n;
            }
            code = (code << 8) | uint32_t(source_->readByte());
            range <<= 8;
            low <<= 8;
            if (M2_UNLIKELY(source_->exhausted)) {
                last = -1;
                return n;
            }
        }
        goto decoded;
    escaped:
        // The symbol comes from a shorter context, found with the model's
        // members rather than the locals.
        save();
        foundState_ = 0;
        if (!decodeEscapes()) {
            last = -1;
            return n;
        }
        fs = foundState_;
        sym = mem[fs];
        if (!orderFall_ && load32(mem + fs + 2) > pText) {
            minContext_ = maxContext_ = load32(mem + fs + 2);
        } else if (!updateAfterSymbol()) {
            last = -1;
            return n;
        }
        normalize();
        if (coderFailed_ || source_->exhausted) {
            last = -1;
            return n;
        }
        load();
        goto decoded;
    coderFailed:
        coderFailed_ = true;
    failed:
        // the members get the state the failed byte started from
        save();
        last = -1;
        return n;
    decoded:
        if (M2_UNLIKELY(sym == stop) || M2_UNLIKELY((out[n++] = uint8_t(sym), n >= max || *inPos > *border))) {
            save();
            last = sym == stop ? sym : -2;
            return n;
        }
    }
}
