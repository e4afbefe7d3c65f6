// Types of tovi-print: one promise-based API for raw printing from a page, on the plug-in road
// (NPAPI browsers) and the extension road (Chrome, Edge, Firefox).

/** Which way calls reach the printers. */
export type Road = 'plugin' | 'extension';

/** What print() takes: the document's bytes, or Base64 text of them (RFC 4648, padded, no whitespace). */
export type PrintDocument = Uint8Array | ArrayBuffer | ArrayBufferView | Blob | string;

export interface ConnectOptions {
  /** 'auto' (the default) takes the plug-in when the browser has it and it starts, else the extension. */
  road?: Road | 'auto';
  /** The plug-in element to use; by default the page's element of the plug-in's MIME type, or a new one. */
  element?: HTMLObjectElement | HTMLEmbedElement;
  /** The window whose page talks to the extension and holds the element (default: this window). */
  window?: Window;
  /** How long to wait for the browser to start the plug-in, in ms (default 3000). */
  startWait?: number;
  /** How long to wait for the extension's answer to a probe when its mark is missing, in ms (default 300). */
  probeWait?: number;
  /** While requests are open, how often to check that the extension still answers, in ms (default 5000; 0: never). */
  liveness?: number;
}

export interface PrintProgress {
  /** Bytes of the document sent so far. */
  sent: number;
  /** Bytes of the whole document. */
  total: number;
}

export interface PrintOptions {
  /** A name printers() lists; without one the document goes to the default printer. */
  printer?: string;
  /** Called as the document goes out: once at the start, after each part, and at the end. */
  onProgress?: (progress: PrintProgress) => void;
}

/** A connection to the computer's printers. Calls run one at a time, in the order they were made. */
export interface Printer {
  readonly road: Road;
  /** The plug-in's version, e.g. "0.0.0.11". */
  version(): Promise<string>;
  /** The names of the printers the computer offers. */
  printers(): Promise<string[]>;
  /** The hardware addresses of the network interfaces, "00:1A:2B:3C:4D:5E". */
  macAddresses(): Promise<string[]>;
  /** Sends the document's bytes unchanged to the printer as one raw job. */
  print(document: PrintDocument, options?: PrintOptions): Promise<void>;
  /** Ends the connection; calls waiting or made later fail with code 664. */
  close(): void;
}

/**
 * Every failure: code is the plug-in's number (101 to 502), the bridge's (600-629), the extension's
 * (630-659) or the library's (660-679); message is the exact text, "?412 print failed - ...".
 */
export class ToviPrintError extends Error {
  readonly name: 'ToviPrintError';
  readonly code: number;
  readonly road: Road | null;
  constructor(code: number, message: string, road: Road | null);
}

/** The library's own codes. */
export declare const Codes: Readonly<{
  NOTHING_INSTALLED: 660;
  ROAD_UNAVAILABLE: 661;
  BAD_ARGUMENT: 662;
  NO_MESSAGE: 663;
  CLOSED: 664;
}>;

/** The plug-in's MIME type, "application/x-vnd-tovi-print". */
export declare const MIME_TYPE: 'application/x-vnd-tovi-print';

/** Finds a road to the printers; rejects with 660 (saying what to install) when there is none. */
export declare function connect(options?: ConnectOptions): Promise<Printer>;

export declare const ToviPrint: Readonly<{
  connect: typeof connect;
  ToviPrintError: typeof ToviPrintError;
  Codes: typeof Codes;
  MIME_TYPE: typeof MIME_TYPE;
}>;
export default ToviPrint;
