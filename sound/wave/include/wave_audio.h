/* The wave-audio interface Audiolet is written against.
 *
 * On Windows it is the system's own (winmm and the thread message queues of
 * user32). Elsewhere this header declares our implementation of the same
 * subset, with the same names, records, flags, messages and result codes, in the
 * library waveaudio:
 *
 *  - wave-in 0 and wave-out 0 are a loopback pair: what is played on loopback
 *    out while loopback in records (with the same format) is recorded sample for
 *    sample; otherwise loopback in records silence. Each of the two can be open
 *    once at a time;
 *  - wave-in 1 is a tone source (a sine of WAVE_TONE_HZ at half full scale);
 *  - wave-out 1 is a silent sink with volume control, wave-out 2 one without;
 *  - the machine's ALSA devices follow the virtual ones.
 *
 * Virtual devices are paced by a clock at their sample rate. Completion messages
 * go to the message queue of the thread named at open (CALLBACK_THREAD); a
 * thread has a queue once it has called PeekMessageA or GetMessageA. */
#ifndef WAVE_AUDIO_H
#define WAVE_AUDIO_H

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
/* windows.h first: mmsystem.h relies on its types. */
#include <mmsystem.h>
#else

#include <stdint.h>

#if defined(WAVEAUDIO_BUILD)
#define WAVEAUDIO_API __attribute__((visibility("default")))
#else
#define WAVEAUDIO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef uintptr_t UINT_PTR;
typedef uintptr_t DWORD_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef UINT MMRESULT;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HWND;
typedef void* HMODULE;
typedef struct WaveInDevice* HWAVEIN;
typedef struct WaveOutDevice* HWAVEOUT;

typedef struct {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
} WAVEFORMATEX;

typedef struct wavehdr_tag {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    struct wavehdr_tag* lpNext;
    DWORD_PTR reserved;
} WAVEHDR, *LPWAVEHDR;

enum { MAXPNAMELEN = 32 };

typedef struct {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
    DWORD dwSupport;
} WAVEOUTCAPSA;

typedef struct {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
} WAVEINCAPSA;

typedef struct {
    int32_t x;
    int32_t y;
} POINT;

typedef struct {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG;

#define WAVE_FORMAT_PCM 1
#define WAVE_MAPPER ((UINT)-1)

/* Open flags. */
#define WAVE_FORMAT_QUERY 0x0001
#define WAVE_ALLOWSYNC 0x0002
#define CALLBACK_NULL 0x00000000
#define CALLBACK_THREAD 0x00020000

/* Header flags. */
#define WHDR_DONE 0x00000001
#define WHDR_PREPARED 0x00000002
#define WHDR_INQUEUE 0x00000010

/* Capabilities. */
#define WAVECAPS_VOLUME 0x0004
#define WAVECAPS_LRVOLUME 0x0008

/* Messages to the callback thread. */
#define MM_WOM_OPEN 0x3BB
#define MM_WOM_CLOSE 0x3BC
#define MM_WOM_DONE 0x3BD
#define MM_WIM_OPEN 0x3BE
#define MM_WIM_CLOSE 0x3BF
#define MM_WIM_DATA 0x3C0

/* Results. */
#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_NOTSUPPORTED 8
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33
#define WAVERR_UNPREPARED 34

/* PlaySoundA flags. */
#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_FILENAME 0x00020000

/* PeekMessageA. */
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

/* Frequency of the tone source, in hertz. */
#define WAVE_TONE_HZ 1000

WAVEAUDIO_API UINT waveInGetNumDevs(void);
WAVEAUDIO_API MMRESULT waveInGetDevCapsA(UINT_PTR deviceId, WAVEINCAPSA* caps, UINT size);
WAVEAUDIO_API MMRESULT waveInOpen(HWAVEIN* handle, UINT deviceId, const WAVEFORMATEX* format,
                                  DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
WAVEAUDIO_API MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
WAVEAUDIO_API MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size);
WAVEAUDIO_API MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size);
WAVEAUDIO_API MMRESULT waveInStart(HWAVEIN handle);
WAVEAUDIO_API MMRESULT waveInStop(HWAVEIN handle);
WAVEAUDIO_API MMRESULT waveInReset(HWAVEIN handle);
WAVEAUDIO_API MMRESULT waveInClose(HWAVEIN handle);

WAVEAUDIO_API UINT waveOutGetNumDevs(void);
WAVEAUDIO_API MMRESULT waveOutGetDevCapsA(UINT_PTR deviceId, WAVEOUTCAPSA* caps, UINT size);
WAVEAUDIO_API MMRESULT waveOutOpen(HWAVEOUT* handle, UINT deviceId, const WAVEFORMATEX* format,
                                   DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
WAVEAUDIO_API MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
WAVEAUDIO_API MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size);
WAVEAUDIO_API MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size);
WAVEAUDIO_API MMRESULT waveOutPause(HWAVEOUT handle);
WAVEAUDIO_API MMRESULT waveOutRestart(HWAVEOUT handle);
WAVEAUDIO_API MMRESULT waveOutReset(HWAVEOUT handle);
WAVEAUDIO_API MMRESULT waveOutClose(HWAVEOUT handle);
/* Volume of the device named by an id or an open handle: low word left, high word right. */
WAVEAUDIO_API MMRESULT waveOutSetVolume(HWAVEOUT handle, DWORD volume);
WAVEAUDIO_API MMRESULT waveOutGetVolume(HWAVEOUT handle, DWORD* volume);

/* Plays a sound file (SND_FILENAME) on the default output: the first ALSA
 * output, else the silent sink. Synchronous unless SND_ASYNC; a new sound, or a
 * null name, stops the one playing. */
WAVEAUDIO_API BOOL PlaySoundA(LPCSTR sound, HMODULE module, DWORD flags);

WAVEAUDIO_API DWORD GetCurrentThreadId(void);
WAVEAUDIO_API BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
/* Waits for a message in [first, last] (0, 0: any) of the calling thread's
 * queue; always returns 1 (there is no quit message here). */
WAVEAUDIO_API BOOL GetMessageA(MSG* message, HWND window, UINT first, UINT last);
WAVEAUDIO_API BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);

/* Inspection for tests: open wave handles, and whether an asynchronous sound plays. */
WAVEAUDIO_API int32_t WaveOpenHandleCount(void);
WAVEAUDIO_API int32_t WaveSoundPlaying(void);

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */
#endif /* WAVE_AUDIO_H */
