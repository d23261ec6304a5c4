/* A stand-in for FTDI's D2XX library, written for the tests from the
 * library's published call list: the nine calls the editor uses plus the
 * latency timer, over scripted in-memory devices. Handles are heap pointers,
 * as the real library's are. The fake_* calls let a test script it. */
#include <stdlib.h>
#include <string.h>

typedef unsigned int DWORD;
typedef unsigned long ULONG;
typedef ULONG FT_STATUS;
typedef void* FT_HANDLE;

#define FT_OK 0
#define FT_INVALID_HANDLE 1
#define FT_DEVICE_NOT_FOUND 2
#define FT_DEVICE_NOT_OPENED 3
#define FT_INVALID_PARAMETER 6

#define MAX_DEVICES 4
#define QUEUE 70000

struct device {
    char serial[64];
    char description[64];
    int open;
    unsigned char rx[QUEUE];
    DWORD rxCount;
    unsigned char tx[QUEUE];
    DWORD txCount;
    ULONG baud;
    unsigned char word, stop, parity, latency;
    int purgeMask;
};

struct handle {
    DWORD magic;
    struct device* device;
};

static struct device devices[MAX_DEVICES];
static int deviceCount;
static struct handle* handles[MAX_DEVICES];
static char failCall[64];
static FT_STATUS failStatus;

static FT_STATUS forced(const char* call) {
    return strcmp(call, failCall) == 0 ? failStatus : FT_OK;
}

static struct device* deviceOf(FT_HANDLE h) {
    for (int i = 0; i < MAX_DEVICES; ++i) {
        if (handles[i] && handles[i] == h && handles[i]->magic == 0xF7D2) return handles[i]->device;
    }
    return NULL;
}

/* --- scripting --- */

void fake_reset(void) {
    for (int i = 0; i < MAX_DEVICES; ++i) {
        free(handles[i]);
        handles[i] = NULL;
    }
    memset(devices, 0, sizeof devices);
    deviceCount = 0;
    failCall[0] = '\0';
    failStatus = FT_OK;
}

int fake_add_device(const char* serial, const char* description) {
    if (deviceCount >= MAX_DEVICES) return -1;
    struct device* d = &devices[deviceCount];
    strncpy(d->serial, serial, sizeof d->serial - 1);
    strncpy(d->description, description, sizeof d->description - 1);
    d->latency = 16;
    return deviceCount++;
}

void fake_fail(const char* call, unsigned status) {
    strncpy(failCall, call, sizeof failCall - 1);
    failStatus = status;
}

void fake_push_rx(int index, const unsigned char* bytes, unsigned n) {
    struct device* d = &devices[index];
    if (d->rxCount + n > QUEUE) n = QUEUE - d->rxCount;
    memcpy(d->rx + d->rxCount, bytes, n);
    d->rxCount += n;
}

unsigned fake_take_tx(int index, unsigned char* out, unsigned max) {
    struct device* d = &devices[index];
    unsigned n = d->txCount < max ? d->txCount : max;
    memcpy(out, d->tx, n);
    memmove(d->tx, d->tx + n, d->txCount - n);
    d->txCount -= n;
    return n;
}

unsigned long fake_baud(int index) {
    return devices[index].baud;
}

unsigned fake_characteristics(int index) {
    const struct device* d = &devices[index];
    return (unsigned)d->word << 16 | (unsigned)d->stop << 8 | d->parity;
}

int fake_purges(int index) {
    return devices[index].purgeMask;
}

unsigned fake_latency(int index) {
    return devices[index].latency;
}

int fake_open_count(void) {
    int n = 0;
    for (int i = 0; i < MAX_DEVICES; ++i) n += handles[i] != NULL;
    return n;
}

/* --- the library's calls --- */

FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) {
    FT_STATUS s = forced("FT_ListDevices");
    if (s) return s;
    if (flags & 0x80000000u) {
        *(DWORD*)arg1 = (DWORD)deviceCount;
        return FT_OK;
    }
    if (!(flags & 0x40000000u)) return FT_INVALID_PARAMETER;
    unsigned long index = (unsigned long)arg1;
    if (index >= (unsigned long)deviceCount) return FT_DEVICE_NOT_FOUND;
    const char* text = (flags & 1u) ? devices[index].serial : devices[index].description;
    strcpy((char*)arg2, text);
    return FT_OK;
}

FT_STATUS FT_OpenEx(void* arg, DWORD flags, FT_HANDLE* out) {
    FT_STATUS s = forced("FT_OpenEx");
    if (s) return s;
    if (flags != 1u) return FT_INVALID_PARAMETER;
    for (int i = 0; i < deviceCount; ++i) {
        if (strcmp(devices[i].serial, (const char*)arg) != 0) continue;
        if (devices[i].open) return FT_DEVICE_NOT_OPENED;
        struct handle* h = malloc(sizeof *h);
        h->magic = 0xF7D2;
        h->device = &devices[i];
        devices[i].open = 1;
        handles[i] = h;
        *out = h;
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS FT_Close(FT_HANDLE h) {
    struct device* d = deviceOf(h);
    if (!d) return FT_INVALID_HANDLE;
    for (int i = 0; i < MAX_DEVICES; ++i) {
        if (handles[i] == h) {
            free(handles[i]);
            handles[i] = NULL;
        }
    }
    d->open = 0;
    return FT_OK;
}

FT_STATUS FT_Read(FT_HANDLE h, void* buffer, DWORD toRead, DWORD* got) {
    struct device* d = deviceOf(h);
    if (!d) return FT_INVALID_HANDLE;
    FT_STATUS s = forced("FT_Read");
    if (s) return s;
    DWORD n = d->rxCount < toRead ? d->rxCount : toRead;
    memcpy(buffer, d->rx, n);
    memmove(d->rx, d->rx + n, d->rxCount - n);
    d->rxCount -= n;
    *got = n;
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE h, void* buffer, DWORD toWrite, DWORD* sent) {
    struct device* d = deviceOf(h);
    if (!d) return FT_INVALID_HANDLE;
    FT_STATUS s = forced("FT_Write");
    if (s) return s;
    if (d->txCount + toWrite > QUEUE) toWrite = QUEUE - d->txCount;
    memcpy(d->tx + d->txCount, buffer, toWrite);
    d->txCount += toWrite;
    *sent = toWrite;
    return FT_OK;
}

FT_STATUS FT_SetBaudRate(FT_HANDLE h, ULONG baud) {
    struct device* d = deviceOf(h);
    if (!d) return FT_INVALID_HANDLE;
    if (baud < 183 || baud > 3000000) return 7; /* invalid baud rate */
    d->baud = baud;
    return FT_OK;
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, unsigned char word, unsigned char stop,
                                    unsigned char parity) {
    struct device* d = deviceOf(h);
    if (!d) return FT_INVALID_HANDLE;
    d->word = word;
    d->stop = stop;
    d->parity = parity;
    return FT_OK;
}

FT_STATUS FT_Purge(FT_HANDLE h, ULONG mask) {
    struct device* d = deviceOf(h);
    if (!d) return FT_INVALID_HANDLE;
    d->purgeMask |= (int)mask;
    if (mask & 1u) d->rxCount = 0;
    if (mask & 2u) d->txCount = 0;
    return FT_OK;
}

#ifndef FAKE_WITHOUT_QUEUE_STATUS
FT_STATUS FT_GetQueueStatus(FT_HANDLE h, DWORD* queued) {
    struct device* d = deviceOf(h);
    if (!d) return FT_INVALID_HANDLE;
    FT_STATUS s = forced("FT_GetQueueStatus");
    if (s) return s;
    *queued = d->rxCount;
    return FT_OK;
}
#endif

FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, unsigned char ms) {
    struct device* d = deviceOf(h);
    if (!d) return FT_INVALID_HANDLE;
    d->latency = ms;
    return FT_OK;
}

FT_STATUS FT_GetLatencyTimer(FT_HANDLE h, unsigned char* ms) {
    struct device* d = deviceOf(h);
    if (!d) return FT_INVALID_HANDLE;
    *ms = d->latency;
    return FT_OK;
}
